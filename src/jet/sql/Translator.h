#pragma once
// The translator from Jet SQL to SQLite SQL, a recursive descent over one
// statement's tokens. Its parts live in one file per kind of clause:
// Translator.cpp (the statement's first word), Expressions.cpp, Select.cpp,
// Changes.cpp (INSERT, UPDATE, DELETE) and Ddl.cpp (CREATE, DROP).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/sql/Statement.h"
#include "jet/sql/TokenCursor.h"

namespace mivotra::jet::sql {

struct Expr {
  std::string sql;
  bool boolean = false;  // a truth value: SQLite gives 1 where Jet gives -1
  bool text = false;     // a string literal, or built from one
  bool column = false;   // a plain column reference (its name names the result)
  ColumnHint hint = ColumnHint::None;
};

// A truth value used as a number takes Jet's True, -1.
inline std::string Value(const Expr& e) {
  return e.boolean ? "(- " + e.sql + ")" : e.sql;
}

struct ColumnType {
  std::string decl;  // written into SQLite; VariantTypeOfDeclaredType reads it back
  bool text = false;
  int maxLength = 0;  // characters; 0 for none
  bool date = false;
  bool counter = false;
  bool integer = false;
  std::int64_t seed = 1;
};

struct ColumnDef {
  std::string name;
  ColumnType type;
  bool notNull = false;
  std::string defaultSql;
  bool inlinePrimaryKey = false;
  std::string primaryKeyName;
  std::vector<std::string> constraints;  // SQLite text, in the order written
};

class Translator : private TokenCursor {
 public:
  explicit Translator(std::string_view sql) : TokenCursor(sql) {}

  Statement Run();

 private:
  // Expressions.cpp
  std::string Condition();
  std::string SchemaCondition();
  Expr Expression();
  Expr OrExpr();
  Expr AndExpr();
  Expr NotExpr();
  Expr Comparison();
  Expr Concatenation();
  Expr Additive();
  Expr ModTerm();
  Expr Term();
  Expr Unary();
  Expr Primary();
  std::vector<Expr> Arguments(std::size_t minCount, std::size_t maxCount, const std::string& name);
  Expr Function();

  // Each nested expression, operand or table costs stack; a statement made
  // of thousands of parentheses must fail, not overflow it.
  class Nesting {
   public:
    explicit Nesting(Translator& translator);
    ~Nesting() { --m_translator.m_depth; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    Translator& m_translator;
  };

  // Select.cpp
  std::string Select(bool outer, SelectStatement* statement);
  std::string SelectCore(bool outer, SelectStatement* statement);
  std::string JoinChain();
  std::string TablePrimary();

  // Changes.cpp
  void Insert(Statement& statement);
  void Update(Statement& statement);
  void Delete(Statement& statement);

  // Ddl.cpp
  ColumnType ReadType(const std::string& column);
  std::string DefaultValue();
  std::string References(ForeignKey& key);
  void ColumnConstraint(CreateTableStatement& create, ColumnDef& column,
                        const std::string& constraint);
  ColumnDef ReadColumn(CreateTableStatement& create);
  void CreateTable(Statement& statement);
  void CreateIndex(Statement& statement);
  void Drop(Statement& statement);

  int m_expressionNumber = 1000;
  bool m_schemaExpression = false;
  int m_depth = 0;
  bool m_rowLocal = true;  // cleared by a subquery or a clock function
  std::optional<std::int64_t> m_top;
  std::size_t m_topInsertAt = 0;
};

}  // namespace mivotra::jet::sql
