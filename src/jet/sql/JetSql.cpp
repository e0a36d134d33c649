#include "jet/sql/JetSql.h"

#include "jet/sql/Translator.h"

namespace mivotra::jet {

Statement Translate(std::string_view jetSql) {
  return sql::Translator(jetSql).Run();
}

}  // namespace mivotra::jet
