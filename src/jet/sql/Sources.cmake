# The Jet SQL front end's files, relative to this folder: the engine and the
# fuzzers build the same list.
set(MIVOTRA_JET_SQL_SOURCES
  Changes.cpp
  Characters.h
  DateLiteral.cpp DateLiteral.h
  Ddl.cpp
  Expressions.cpp
  JetSql.cpp JetSql.h
  SqlText.cpp SqlText.h
  Statement.h
  SyntaxError.cpp SyntaxError.h
  TokenCursor.cpp TokenCursor.h
  Tokenize.cpp Tokenize.h
  Translator.cpp Translator.h
)
list(TRANSFORM MIVOTRA_JET_SQL_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
