#include "jet/sql/JetSql.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "jet/ComError.h"
#include "jet/DateTime.h"
#include "jet/JetErrors.h"
#include "jet/Utf8.h"

namespace mivotra::jet {
namespace {

// ---------------------------------------------------------------------------
// Characters and small helpers

bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// Bytes of multibyte characters belong to names: Jet accepts Japanese field names unbracketed.
bool IsNameStart(unsigned char c) {
  return IsLetter(c) || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || IsDigit(c);
}
bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return IsDigit(static_cast<unsigned char>(c));
  });
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// A short piece of the statement for a message, never cutting a character in half.
std::string Excerpt(std::string_view sql, std::size_t offset) {
  constexpr std::size_t kMaxBytes = 40;
  std::string_view rest = sql.substr(std::min(offset, sql.size()));
  if (rest.size() <= kMaxBytes) return std::string(rest);
  return std::string(rest.substr(0, utf8::CutPoint(rest, kMaxBytes))) + "...";
}

[[noreturn]] void SyntaxError(std::string description) {
  ThrowEngine(DB_E_Syntax, std::move(description));
}

// ---------------------------------------------------------------------------
// Date literals

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

std::optional<int> SmallNumber(std::string_view digits, std::size_t maxDigits) {
  if (!AllDigits(digits) || digits.size() > maxDigits) return std::nullopt;
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

bool ParseDatePart(std::string_view word, int& year, int& month, int& day) {
  const char separator = word.find('/') != std::string_view::npos ? '/' : '-';
  std::array<std::string_view, 3> fields;
  std::size_t start = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t end = k < 2 ? word.find(separator, start) : word.size();
    if (end == std::string_view::npos) return false;
    fields[k] = word.substr(start, end - start);
    start = end + 1;
  }
  if (fields[2].find(separator) != std::string_view::npos) return false;
  // Four digits first: year/month/day; otherwise Jet reads US order, whatever the locale.
  const bool yearFirst = fields[0].size() >= 3;
  const auto y = SmallNumber(yearFirst ? fields[0] : fields[2], 4);
  const auto m = SmallNumber(yearFirst ? fields[1] : fields[0], 2);
  const auto d = SmallNumber(yearFirst ? fields[2] : fields[1], 2);
  if (!y || !m || !d) return false;
  year = *y;
  const std::size_t yearDigits = (yearFirst ? fields[0] : fields[2]).size();
  if (yearDigits <= 2) year += year < 30 ? 2000 : 1900;  // Jet's two-digit year window
  month = *m;
  day = *d;
  return true;
}

bool ParseTimePart(std::string_view word, int& hour, int& minute, int& second) {
  const std::size_t first = word.find(':');
  if (first == std::string_view::npos) return false;
  const std::size_t secondColon = word.find(':', first + 1);
  const auto h = SmallNumber(word.substr(0, first), 2);
  const auto m = SmallNumber(
      word.substr(first + 1, secondColon == std::string_view::npos ? std::string_view::npos
                                                                   : secondColon - first - 1),
      2);
  std::optional<int> s = 0;
  if (secondColon != std::string_view::npos) s = SmallNumber(word.substr(secondColon + 1), 2);
  if (!h || !m || !s) return false;
  hour = *h;
  minute = *m;
  second = *s;
  return true;
}

// ---------------------------------------------------------------------------
// Reserved words: a bare name that is one of these is never taken as a table,
// column or alias name (brackets make any of them a name).

constexpr std::array<std::string_view, 56> kReserved = {
    "ALL",         "ALTER",      "AND",       "AS",         "ASC",    "BETWEEN", "BY",
    "CHECK",       "CONSTRAINT", "CREATE",    "DEFAULT",    "DELETE", "DESC",    "DISTINCT",
    "DISTINCTROW", "DROP",       "EQV",       "EXISTS",     "FALSE",  "FOREIGN", "FROM",
    "GROUP",       "HAVING",     "IMP",       "IN",         "INDEX",  "INNER",   "INSERT",
    "INTO",        "IS",         "JOIN",      "KEY",        "LEFT",   "LIKE",    "MOD",
    "NOT",         "NULL",       "ON",        "OR",         "ORDER",  "OUTER",   "PARAMETERS",
    "PIVOT",       "PRIMARY",    "PROCEDURE", "REFERENCES", "RIGHT",  "SELECT",  "SET",
    "TABLE",       "TOP",        "TRANSFORM", "TRUE",       "UNION",  "UNIQUE",  "UPDATE",
};
constexpr std::array<std::string_view, 4> kMoreReserved = {"VALUES", "WHERE", "WITH", "XOR"};

bool IsReserved(std::string_view word) {
  const std::string upper = Upper(word);
  return std::find(kReserved.begin(), kReserved.end(), upper) != kReserved.end() ||
         std::find(kMoreReserved.begin(), kMoreReserved.end(), upper) != kMoreReserved.end();
}

constexpr std::string_view kNowSql = "strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime')";
constexpr std::string_view kDateSql = "strftime('%Y-%m-%d 00:00:00', 'now', 'localtime')";
constexpr std::string_view kTimeSql = "strftime('1899-12-30 %H:%M:%S', 'now', 'localtime')";
constexpr std::string_view kDateGlob =
    "'[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'";
constexpr int kMaxTextLength = 255;
constexpr std::size_t kMaxNameCharacters = 64;
constexpr int kMaxNesting = 200;

// ---------------------------------------------------------------------------
// Translation

struct Expr {
  std::string sql;
  bool boolean = false;  // a truth value: SQLite gives 1 where Jet gives -1
  bool text = false;     // a string literal, or built from one
  bool column = false;   // a plain column reference (its name names the result)
  ColumnHint hint = ColumnHint::None;
};

// A truth value used as a number takes Jet's True, -1.
std::string Value(const Expr& e) {
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

class Translator {
 public:
  explicit Translator(std::string_view sql) : m_sql(sql), m_tokens(Tokenize(sql)) {}

  Statement Run() {
    Statement statement;
    if (AcceptWord("SELECT")) {
      statement.kind = StatementKind::Select;
      m_context = "Syntax error in query.";
      statement.sql = Select(true, &statement);
    } else if (AcceptWord("INSERT")) {
      statement.kind = StatementKind::Insert;
      Insert(statement);
    } else if (AcceptWord("UPDATE")) {
      statement.kind = StatementKind::Update;
      Update(statement);
    } else if (AcceptWord("DELETE")) {
      statement.kind = StatementKind::Delete;
      Delete(statement);
    } else if (AcceptWord("CREATE")) {
      if (IsWord("TABLE")) {
        Next();
        statement.kind = StatementKind::CreateTable;
        CreateTable(statement);
      } else if (IsWord("INDEX") || IsWord("UNIQUE")) {
        statement.kind = StatementKind::CreateIndex;
        CreateIndex(statement);
      } else {
        m_context = "Syntax error in CREATE TABLE statement.";
        Fail("Only CREATE TABLE and CREATE [UNIQUE] INDEX are supported.");
      }
    } else if (AcceptWord("DROP")) {
      m_context = "Syntax error in DROP TABLE or DROP INDEX.";
      if (AcceptWord("TABLE")) {
        statement.kind = StatementKind::DropTable;
        statement.table = ReadName();
        statement.sql = "DROP TABLE " + QuoteName(statement.table);
      } else if (AcceptWord("INDEX")) {
        statement.kind = StatementKind::DropIndex;
        statement.index = ReadName();
        ExpectWord("ON");
        statement.table = ReadName();
        statement.sql = "DROP INDEX " + QuoteName(statement.index);
        for (const char* event : {"_insert", "_update"}) {
          statement.followUps.push_back(
              "DROP TRIGGER IF EXISTS " +
              QuoteName(statement.index + std::string(kRequiredTrigger) + event));
        }
      } else {
        Fail();
      }
    } else {
      m_context =
          "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
          "'UPDATE'.";
      if (IsWord("ALTER")) Fail("ALTER TABLE is not supported by this engine.");
      Fail();
    }
    AcceptSymbol(";");
    if (Peek().type != TokenType::End) {
      m_context = "Characters found after end of SQL statement.";
      Fail();
    }
    return statement;
  }

 private:
  // ----- tokens

  const Token& Peek(std::size_t ahead = 0) const {
    return m_tokens[std::min(m_pos + ahead, m_tokens.size() - 1)];
  }
  const Token& Next() {
    const Token& token = Peek();
    if (m_pos < m_tokens.size() - 1) ++m_pos;
    return token;
  }
  bool IsWord(std::string_view word, std::size_t ahead = 0) const {
    const Token& token = Peek(ahead);
    return token.type == TokenType::Name && EqualsNoCase(token.text, word);
  }
  bool AcceptWord(std::string_view word) {
    if (!IsWord(word)) return false;
    Next();
    return true;
  }
  void ExpectWord(std::string_view word) {
    if (!AcceptWord(word)) Fail("Expected " + std::string(word) + ".");
  }
  bool IsSymbol(std::string_view symbol, std::size_t ahead = 0) const {
    const Token& token = Peek(ahead);
    return token.type == TokenType::Symbol && token.text == symbol;
  }
  bool AcceptSymbol(std::string_view symbol) {
    if (!IsSymbol(symbol)) return false;
    Next();
    return true;
  }
  void ExpectSymbol(std::string_view symbol) {
    if (!AcceptSymbol(symbol)) Fail("Expected '" + std::string(symbol) + "'.");
  }

  [[noreturn]] void Fail(std::string_view detail = {}) const {
    std::string message = m_context.empty() ? "Syntax error." : m_context;
    if (!detail.empty()) {
      message += ' ';
      message += detail;
    }
    const Token& token = Peek();
    if (token.type == TokenType::End) {
      message += " The statement ends too early.";
    } else {
      message += " Near '" + Excerpt(m_sql, token.offset) + "' (character " +
                 std::to_string(token.offset + 1) + ").";
    }
    SyntaxError(std::move(message));
  }

  bool AtName(std::size_t ahead = 0) const {
    const Token& token = Peek(ahead);
    return token.type == TokenType::BracketName ||
           (token.type == TokenType::Name && !IsReserved(token.text));
  }

  std::string ReadName() {
    if (!AtName()) Fail("Expected a name.");
    const std::string name = Next().text;
    std::size_t characters = 0;
    for (unsigned char c : name) characters += (c & 0xC0) != 0x80;
    if (characters > kMaxNameCharacters) {
      SyntaxError("The name '" + name + "' is too long: names have at most 64 characters.");
    }
    return name;
  }

  std::vector<std::string> NameList() {
    std::vector<std::string> names;
    ExpectSymbol("(");
    do {
      names.push_back(ReadName());
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    return names;
  }

  static std::string JoinQuoted(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) {
      if (!out.empty()) out += ", ";
      out += QuoteName(name);
    }
    return out;
  }

  std::int64_t ReadInteger() {
    bool negative = false;
    if (AcceptSymbol("-")) negative = true;
    const Token& token = Peek();
    std::int64_t value = 0;
    if (token.type != TokenType::Number || !AllDigits(token.text) ||
        std::from_chars(token.text.data(), token.text.data() + token.text.size(), value).ec !=
            std::errc()) {
      Fail("Expected a whole number.");
    }
    Next();
    return negative ? -value : value;
  }

  // ----- expressions

  std::string Condition() { return Expression().sql; }

  // A CHECK's condition in parentheses, as it is kept in the schema.
  std::string SchemaCondition() {
    ExpectSymbol("(");
    m_schemaExpression = true;
    const std::string condition = Condition();
    m_schemaExpression = false;
    ExpectSymbol(")");
    return condition;
  }

  Expr Expression() {
    const Nesting nesting(*this);
    return OrExpr();
  }

  // Each nested expression, operand or table costs stack; a statement made
  // of thousands of parentheses must fail, not overflow it.
  class Nesting {
   public:
    explicit Nesting(Translator& translator) : m_translator(translator) {
      if (++m_translator.m_depth > kMaxNesting) {
        SyntaxError("Query is too complex: its expressions nest more than " +
                    std::to_string(kMaxNesting) + " levels deep.");
      }
    }
    ~Nesting() { --m_translator.m_depth; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    Translator& m_translator;
  };

  Expr OrExpr() {
    Expr left = AndExpr();
    while (IsWord("OR") || IsWord("XOR") || IsWord("EQV") || IsWord("IMP")) {
      if (!IsWord("OR")) Fail("The operator " + Upper(Peek().text) + " is not supported.");
      Next();
      const Expr right = AndExpr();
      left = Expr{"(" + left.sql + " OR " + right.sql + ")", true};
    }
    return left;
  }

  Expr AndExpr() {
    Expr left = NotExpr();
    while (AcceptWord("AND")) {
      const Expr right = NotExpr();
      left = Expr{"(" + left.sql + " AND " + right.sql + ")", true};
    }
    return left;
  }

  Expr NotExpr() {
    const Nesting nesting(*this);
    if (AcceptWord("NOT")) {
      const Expr operand = NotExpr();
      return Expr{"(NOT " + operand.sql + ")", true};
    }
    return Comparison();
  }

  Expr Comparison() {
    Expr left = Concatenation();
    for (;;) {
      const Token& token = Peek();
      if (token.type == TokenType::Symbol &&
          (token.text == "=" || token.text == "<>" || token.text == "<" || token.text == ">" ||
           token.text == "<=" || token.text == ">=")) {
        const std::string op = Next().text;
        const Expr right = Concatenation();
        left = Expr{"(" + Value(left) + " " + op + " " + Value(right) + ")", true};
        continue;
      }
      if (IsWord("IS")) {
        Next();
        const bool negated = AcceptWord("NOT");
        ExpectWord("NULL");
        left = Expr{"(" + Value(left) + (negated ? " IS NOT NULL)" : " IS NULL)"), true};
        continue;
      }
      const bool negated =
          IsWord("NOT") && (IsWord("LIKE", 1) || IsWord("BETWEEN", 1) || IsWord("IN", 1));
      if (negated) Next();
      const std::string notText = negated ? " NOT" : "";
      if (AcceptWord("LIKE")) {
        const Expr pattern = Concatenation();
        if (pattern.text && pattern.sql.find('[') != std::string::npos) {
          Fail("LIKE patterns with [character lists] are not supported.");
        }
        left = Expr{"(" + Value(left) + notText + " LIKE " + Value(pattern) + ")", true};
      } else if (AcceptWord("BETWEEN")) {
        const Expr low = Concatenation();
        ExpectWord("AND");
        const Expr high = Concatenation();
        left = Expr{
            "(" + Value(left) + notText + " BETWEEN " + Value(low) + " AND " + Value(high) + ")",
            true};
      } else if (AcceptWord("IN")) {
        ExpectSymbol("(");
        std::string list;
        if (AcceptWord("SELECT")) {
          list = Select(false, nullptr);
        } else {
          do {
            if (!list.empty()) list += ", ";
            list += Value(Expression());
          } while (AcceptSymbol(","));
        }
        ExpectSymbol(")");
        left = Expr{"(" + Value(left) + notText + " IN (" + list + "))", true};
      } else {
        return left;
      }
    }
  }

  Expr Concatenation() {
    Expr left = Additive();
    while (AcceptSymbol("&")) {
      const Expr right = Additive();
      // Jet's & reads Null as an empty text unless both sides are Null. The
      // schema keeps plain SQL, so other SQLite tools can still write the table.
      if (m_schemaExpression) {
        const std::string a = Value(left);
        const std::string b = Value(right);
        left = Expr{"(CASE WHEN " + a + " IS NULL AND " + b + " IS NULL THEN NULL ELSE ifnull(" +
                    a + ", '') || ifnull(" + b + ", '') END)"};
      } else {
        left = Expr{"jet_concat(" + Value(left) + ", " + Value(right) + ")"};
      }
      left.text = true;
    }
    return left;
  }

  Expr Additive() {
    Expr left = ModTerm();
    for (;;) {
      if (IsSymbol("+")) {
        Next();
        const Expr right = ModTerm();
        // + joins texts in Jet; where a side is known to be text, say so to SQLite.
        const bool joinTexts = left.text || right.text;
        left = Expr{"(" + Value(left) + (joinTexts ? " || " : " + ") + Value(right) + ")"};
        left.text = joinTexts;
      } else if (IsSymbol("-")) {
        Next();
        const Expr right = ModTerm();
        left = Expr{"(" + Value(left) + " - " + Value(right) + ")"};
      } else {
        return left;
      }
    }
  }

  Expr ModTerm() {
    Expr left = Term();
    while (AcceptWord("MOD")) {
      const Expr right = Term();
      // Jet rounds both sides to whole numbers first.
      left = Expr{"(CAST(round(" + Value(left) + ") AS INTEGER) % CAST(round(" + Value(right) +
                  ") AS INTEGER))"};
    }
    return left;
  }

  Expr Term() {
    Expr left = Unary();
    for (;;) {
      if (IsSymbol("*")) {
        Next();
        const Expr right = Unary();
        left = Expr{"(" + Value(left) + " * " + Value(right) + ")"};
      } else if (IsSymbol("/")) {
        Next();
        const Expr right = Unary();
        // Jet's / always divides as floating point: 7 / 2 is 3.5.
        left = Expr{"(CAST(" + Value(left) + " AS REAL) / " + Value(right) + ")"};
      } else if (IsSymbol("\\") || IsSymbol("^")) {
        Fail("The operator '" + Peek().text + "' is not supported.");
      } else {
        return left;
      }
    }
  }

  Expr Unary() {
    const Nesting nesting(*this);
    if (AcceptSymbol("-")) return Expr{"(- " + Value(Unary()) + ")"};
    if (AcceptSymbol("+")) return Expr{"(+ " + Value(Unary()) + ")"};
    return Primary();
  }

  Expr Primary() {
    const Token& token = Peek();
    switch (token.type) {
      case TokenType::Number: {
        std::string number = Next().text;
        if (number.front() == '.') number.insert(0, "0");
        if (number.back() == '.') number += '0';
        return Expr{number};
      }
      case TokenType::String: {
        Expr e{QuoteText(Next().text)};
        e.text = true;
        return e;
      }
      case TokenType::Date: {
        Expr e{QuoteText(Next().text)};
        e.hint = ColumnHint::Date;
        return e;
      }
      case TokenType::Symbol:
        if (token.text == "?") {
          ThrowEngine(DB_E_ParamNotOptional,
                      "No value given for one or more required parameters: the statement has a "
                      "parameter marker '?' at character " +
                          std::to_string(token.offset + 1) + ".");
        }
        if (token.text == "(") {
          Next();
          if (AcceptWord("SELECT")) {
            Expr e{"(" + Select(false, nullptr) + ")"};
            ExpectSymbol(")");
            return e;
          }
          Expr inner = Expression();
          ExpectSymbol(")");
          inner.sql = "(" + inner.sql + ")";
          inner.column = false;
          return inner;
        }
        Fail();
      case TokenType::Name:
        if (IsWord("NULL")) {
          Next();
          return Expr{"NULL"};
        }
        if (IsWord("TRUE")) {
          Next();
          return Expr{"-1"};
        }
        if (IsWord("FALSE")) {
          Next();
          return Expr{"0"};
        }
        if (IsWord("EXISTS")) {
          Next();
          ExpectSymbol("(");
          ExpectWord("SELECT");
          Expr e{"(EXISTS (" + Select(false, nullptr) + "))", true};
          ExpectSymbol(")");
          return e;
        }
        if (IsSymbol("(", 1)) return Function();
        if (IsReserved(token.text)) Fail("Expected an expression.");
        [[fallthrough]];
      case TokenType::BracketName: {
        const std::string first = ReadName();
        Expr e{QuoteName(first)};
        if (IsSymbol(".") && !IsSymbol("*", 1)) {
          Next();
          e.sql += "." + QuoteName(ReadName());
        }
        e.column = true;
        return e;
      }
      case TokenType::End:
        break;
    }
    Fail("Expected an expression.");
  }

  std::vector<Expr> Arguments(std::size_t minCount, std::size_t maxCount, const std::string& name) {
    std::vector<Expr> args;
    ExpectSymbol("(");
    if (!IsSymbol(")")) {
      do {
        args.push_back(Expression());
      } while (AcceptSymbol(","));
    }
    ExpectSymbol(")");
    if (args.size() < minCount || args.size() > maxCount) {
      SyntaxError("Wrong number of arguments used with function '" + name +
                  "' in query expression.");
    }
    return args;
  }

  Expr Function() {
    const Token& nameToken = Next();
    const std::string name = nameToken.text;
    const std::string upper = Upper(name);
    auto call = [&](std::string_view sqlName, std::size_t minCount, std::size_t maxCount) {
      const auto args = Arguments(minCount, maxCount, name);
      std::string sql = std::string(sqlName) + "(";
      for (std::size_t i = 0; i < args.size(); ++i) sql += (i ? ", " : "") + Value(args[i]);
      return Expr{sql + ")"};
    };
    if (upper == "COUNT") {
      ExpectSymbol("(");
      if (IsWord("DISTINCT")) Fail("Jet has no COUNT(DISTINCT ...).");
      std::string sql;
      if (AcceptSymbol("*")) {
        sql = "count(*)";
      } else {
        sql = "count(" + Value(Expression()) + ")";
      }
      ExpectSymbol(")");
      return Expr{sql};
    }
    if (upper == "SUM" || upper == "AVG" || upper == "MIN" || upper == "MAX") {
      ExpectSymbol("(");
      if (IsWord("DISTINCT")) Fail("Aggregate functions take no DISTINCT in Jet.");
      m_pos--;  // back to "(" so Arguments reads the list
      const auto args = Arguments(1, 1, name);
      Expr e{FoldCase(upper) + "(" + Value(args[0]) + ")"};
      if (upper == "MIN" || upper == "MAX") {
        e.hint = args[0].hint == ColumnHint::Date ? ColumnHint::Date : ColumnHint::MinMaxOf;
      }
      return e;
    }
    if (upper == "NOW" || upper == "DATE" || upper == "TIME") {
      Arguments(0, 0, name);
      m_rowLocal = false;
      Expr e{std::string(upper == "NOW" ? kNowSql : upper == "DATE" ? kDateSql : kTimeSql)};
      e.hint = ColumnHint::Date;
      return e;
    }
    if (upper == "UCASE") return call("upper", 1, 1);
    if (upper == "LCASE") return call("lower", 1, 1);
    if (upper == "LEN") return call("length", 1, 1);
    if (upper == "TRIM") return call("trim", 1, 1);
    if (upper == "LTRIM") return call("ltrim", 1, 1);
    if (upper == "RTRIM") return call("rtrim", 1, 1);
    if (upper == "ABS") return call("abs", 1, 1);
    if (upper == "MID") return call("substr", 2, 3);
    if (upper == "INSTR") return call("instr", 2, 2);
    if (upper == "LEFT") {
      const auto args = Arguments(2, 2, name);
      return Expr{"substr(" + Value(args[0]) + ", 1, " + Value(args[1]) + ")"};
    }
    if (upper == "RIGHT") {
      const auto args = Arguments(2, 2, name);
      const std::string text = Value(args[0]);
      return Expr{"substr(" + text + ", max(length(" + text + ") - (" + Value(args[1]) +
                  ") + 1, 1))"};
    }
    if (upper == "IIF") {
      const auto args = Arguments(3, 3, name);
      return Expr{"(CASE WHEN " + args[0].sql + " THEN " + Value(args[1]) + " ELSE " +
                  Value(args[2]) + " END)"};
    }
    if (upper == "ISNULL") {
      const auto args = Arguments(1, 1, name);
      return Expr{"(" + Value(args[0]) + " IS NULL)", true};
    }
    if (upper == "CSTR") {
      const auto args = Arguments(1, 1, name);
      Expr e{"CAST(" + Value(args[0]) + " AS TEXT)"};
      e.text = true;
      return e;
    }
    if (upper == "CDBL") {
      const auto args = Arguments(1, 1, name);
      return Expr{"CAST(" + Value(args[0]) + " AS REAL)"};
    }
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kDateParts = {{
        {"YEAR", "%Y"},
        {"MONTH", "%m"},
        {"DAY", "%d"},
        {"HOUR", "%H"},
        {"MINUTE", "%M"},
        {"SECOND", "%S"},
    }};
    for (const auto& [function, format] : kDateParts) {
      if (upper == function) {
        const auto args = Arguments(1, 1, name);
        return Expr{"CAST(strftime('" + std::string(format) + "', " + Value(args[0]) +
                    ") AS INTEGER)"};
      }
    }
    SyntaxError("Undefined function '" + name + "' in expression (character " +
                std::to_string(nameToken.offset + 1) + ").");
  }

  // ----- SELECT

  // After the word SELECT. `outer` is the statement's own SELECT, whose
  // columns the caller reads; `statement` receives its hints and TOP.
  std::string Select(bool outer, Statement* statement) {
    m_rowLocal = false;
    const std::string savedContext = m_context;
    std::string out = SelectCore(outer, statement);
    while (IsWord("UNION")) {
      Next();
      out += AcceptWord("ALL") ? " UNION ALL " : " UNION ";
      ExpectWord("SELECT");
      out += SelectCore(false, nullptr);
      if (statement) statement->hints.clear();
    }
    std::vector<std::string> keys;
    if (IsWord("ORDER")) {
      m_context = "Syntax error in ORDER BY clause.";
      Next();
      ExpectWord("BY");
      std::string order;
      do {
        if (Peek().type == TokenType::Number &&
            (IsSymbol(",", 1) || Peek(1).type == TokenType::End || IsSymbol(";", 1) ||
             IsWord("ASC", 1) || IsWord("DESC", 1) || IsSymbol(")", 1))) {
          Fail("Sorting by column position is not supported; name the field.");
        }
        const Expr key = Expression();
        keys.push_back(Value(key));
        order += (order.empty() ? "" : ", ") + Value(key);
        if (AcceptWord("DESC")) {
          order += " DESC";
        } else {
          AcceptWord("ASC");
        }
      } while (AcceptSymbol(","));
      out += " ORDER BY " + order;
    }
    if (m_top) {
      if (keys.empty()) {
        out += " LIMIT " + std::to_string(*m_top);
      } else if (outer && out.find(" UNION ") == std::string::npos) {
        // Ties with the last row count too: the recordset compares these keys.
        statement->top = *m_top;
        statement->hiddenColumns = static_cast<int>(keys.size());
        std::string hidden;
        for (std::size_t i = 0; i < keys.size(); ++i) {
          hidden += ", " + keys[i] + " AS " + QuoteName("jet_order_key_" + std::to_string(i));
        }
        out.insert(m_topInsertAt, hidden);
      } else {
        SyntaxError("TOP with ORDER BY is supported only in the outermost SELECT without UNION.");
      }
      m_top.reset();
    }
    m_context = savedContext;
    return out;
  }

  std::string SelectCore(bool outer, Statement* statement) {
    std::string out = "SELECT ";
    if (IsWord("DISTINCTROW")) Fail("DISTINCTROW is not supported by this engine.");
    if (AcceptWord("DISTINCT")) {
      out += "DISTINCT ";
    } else {
      AcceptWord("ALL");
    }
    std::optional<std::int64_t> top;
    if (AcceptWord("TOP")) {
      const std::int64_t n = ReadInteger();
      if (n < 1) Fail("TOP takes a positive whole number.");
      if (IsWord("PERCENT")) Fail("TOP n PERCENT is not supported by this engine.");
      top = n;
    }
    bool knownColumns = outer;
    std::vector<ColumnHint> hints;
    bool first = true;
    do {
      if (!first) out += ", ";
      first = false;
      if (AcceptSymbol("*")) {
        out += "*";
        knownColumns = false;
      } else if (AtName() && IsSymbol(".", 1) && IsSymbol("*", 2)) {
        out += QuoteName(ReadName()) + ".*";
        Next();
        Next();
        knownColumns = false;
      } else {
        const Expr item = Expression();
        out += Value(item);
        if (AcceptWord("AS")) {
          out += " AS " + QuoteName(ReadName());
        } else if (!item.column) {
          // Jet names an unnamed expression Expr1000, Expr1001, ...
          out += " AS " + QuoteName("Expr" + std::to_string(m_expressionNumber++));
        }
        hints.push_back(item.hint);
      }
    } while (AcceptSymbol(","));
    const std::size_t endOfColumns = out.size();
    if (AcceptWord("FROM")) {
      m_context = "Syntax error in FROM clause.";
      out += " FROM " + JoinChain();
      while (AcceptSymbol(",")) out += ", " + JoinChain();
    }
    m_context = "Syntax error (missing operator) in query expression.";
    if (AcceptWord("WHERE")) out += " WHERE " + Condition();
    if (IsWord("GROUP")) {
      m_context = "Syntax error in GROUP BY clause.";
      Next();
      ExpectWord("BY");
      std::string group;
      do {
        group += (group.empty() ? "" : ", ") + Value(Expression());
      } while (AcceptSymbol(","));
      out += " GROUP BY " + group;
      m_context = "Syntax error (missing operator) in query expression.";
    }
    if (AcceptWord("HAVING")) out += " HAVING " + Condition();
    if (top) {
      if (m_top) Fail("Only one TOP per query is supported.");
      m_top = top;
      m_topInsertAt = endOfColumns;
    }
    if (statement && knownColumns) statement->hints = std::move(hints);
    return out;
  }

  std::string JoinChain() {
    std::string out = TablePrimary();
    for (;;) {
      if (IsWord("INNER") && IsWord("JOIN", 1)) {
        Next();
        Next();
        out += " INNER JOIN ";
      } else if (IsWord("LEFT") &&
                 (IsWord("JOIN", 1) || (IsWord("OUTER", 1) && IsWord("JOIN", 2)))) {
        Next();
        AcceptWord("OUTER");
        Next();
        out += " LEFT JOIN ";
      } else if (IsWord("RIGHT") && (IsWord("JOIN", 1) || IsWord("OUTER", 1))) {
        Fail("RIGHT JOIN is not supported by this engine; write it as a LEFT JOIN.");
      } else {
        return out;
      }
      out += TablePrimary();
      ExpectWord("ON");
      out += " ON " + Condition();
      m_context = "Syntax error in FROM clause.";
    }
  }

  std::string TablePrimary() {
    const Nesting nesting(*this);
    std::string out;
    if (AcceptSymbol("(")) {
      if (AcceptWord("SELECT")) {
        out = "(" + Select(false, nullptr) + ")";
        ExpectSymbol(")");
        m_context = "Syntax error in FROM clause.";
      } else {
        out = "(" + JoinChain() + ")";
        ExpectSymbol(")");
        return out;
      }
    } else {
      out = QuoteName(ReadName());
      if (IsWord("IN")) Fail("Tables in other database files are not supported.");
    }
    if (AcceptWord("AS") || AtName()) out += " AS " + QuoteName(ReadName());
    return out;
  }

  // ----- INSERT, UPDATE, DELETE

  void Insert(Statement& statement) {
    m_context = "Syntax error in INSERT INTO statement.";
    ExpectWord("INTO");
    statement.table = ReadName();
    if (IsWord("IN")) Fail("Tables in other database files are not supported.");
    std::string out = "INSERT INTO " + QuoteName(statement.table);
    if (IsSymbol("(")) out += " (" + JoinQuoted(NameList()) + ")";
    if (AcceptWord("VALUES")) {
      ExpectSymbol("(");
      std::string values;
      do {
        values += (values.empty() ? "" : ", ") + Value(Expression());
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
      out += " VALUES (" + values + ")";
    } else if (AcceptWord("SELECT")) {
      out += " " + Select(false, nullptr);
    } else {
      Fail("Expected VALUES or SELECT.");
    }
    statement.sql = std::move(out);
  }

  void Update(Statement& statement) {
    m_context = "Syntax error in UPDATE statement.";
    statement.table = ReadName();
    if (!IsWord("SET")) Fail("Only single-table UPDATE ... SET is supported.");
    Next();
    m_rowLocal = true;
    do {
      std::string column = ReadName();
      if (AcceptSymbol(".")) {
        if (!EqualsNoCase(column, statement.table)) Fail("The field belongs to another table.");
        column = ReadName();
      }
      ExpectSymbol("=");
      if (!statement.assignments.empty()) statement.assignments += ", ";
      statement.assignments += QuoteName(column) + " = " + Value(Expression());
      statement.columns.push_back(std::move(column));
      m_context = "Syntax error in UPDATE statement.";
    } while (AcceptSymbol(","));
    if (AcceptWord("WHERE")) statement.condition = Condition();
    statement.rowLocal = m_rowLocal;
    statement.sql = "UPDATE " + QuoteName(statement.table) + " SET " + statement.assignments;
    if (!statement.condition.empty()) statement.sql += " WHERE " + statement.condition;
  }

  void Delete(Statement& statement) {
    m_context = "Syntax error in DELETE statement.";
    std::string named;
    if (AcceptSymbol("*")) {
    } else if (AtName() && IsSymbol(".", 1) && IsSymbol("*", 2)) {
      named = ReadName();
      Next();
      Next();
    }
    ExpectWord("FROM");
    statement.table = ReadName();
    if (!named.empty() && !EqualsNoCase(named, statement.table)) {
      Fail("Only single-table DELETE is supported.");
    }
    std::string out = "DELETE FROM " + QuoteName(statement.table);
    if (AcceptWord("WHERE")) out += " WHERE " + Condition();
    statement.sql = std::move(out);
  }

  // ----- CREATE TABLE

  ColumnType ReadType(const std::string& column) {
    const Token& token = Peek();
    if (token.type != TokenType::Name) Fail("Expected a data type for field '" + column + "'.");
    const std::string type = Upper(Next().text);
    ColumnType result;
    auto lengthArgument = [&](int fallback) {
      int length = fallback;
      if (AcceptSymbol("(")) {
        const std::int64_t n = ReadInteger();
        ExpectSymbol(")");
        if (n < 1) Fail("The size of field '" + column + "' must be at least 1.");
        if (n > kMaxTextLength) {
          SyntaxError("Size of field '" + column +
                      "' is too long: text fields hold at most 255 characters.");
        }
        length = static_cast<int>(n);
      }
      return length;
    };
    if (type == "COUNTER" || type == "AUTOINCREMENT" || type == "IDENTITY") {
      result.decl = "INTEGER";
      result.counter = true;
      if (AcceptSymbol("(")) {
        result.seed = ReadInteger();
        ExpectSymbol(",");
        const std::int64_t increment = ReadInteger();
        ExpectSymbol(")");
        if (increment != 1) {
          SyntaxError("The counter of field '" + column + "' rises by " +
                      std::to_string(increment) + "; this engine supports only an increment of 1.");
        }
        if (result.seed < 1 || result.seed > 2147483647) {
          SyntaxError("The counter of field '" + column +
                      "' must start at a number from 1 to 2147483647.");
        }
      }
    } else if (type == "BIT" || type == "YESNO" || type == "BOOLEAN" || type == "LOGICAL" ||
               type == "LOGICAL1") {
      result.decl = "BIT";
    } else if (type == "TINYINT" || type == "BYTE" || type == "INTEGER1") {
      result.decl = "TINYINT";
    } else if (type == "SMALLINT" || type == "SHORT" || type == "INTEGER2") {
      result.decl = "SMALLINT";
    } else if (type == "INTEGER" || type == "LONG" || type == "INT" || type == "INTEGER4") {
      result.decl = "INTEGER";
      result.integer = true;
    } else if (type == "REAL" || type == "SINGLE" || type == "FLOAT4" || type == "IEEESINGLE") {
      result.decl = "REAL";
    } else if (type == "FLOAT" || type == "DOUBLE" || type == "FLOAT8" || type == "NUMBER" ||
               type == "IEEEDOUBLE") {
      result.decl = "DOUBLE";
    } else if (type == "MONEY" || type == "CURRENCY") {
      result.decl = "CURRENCY";
    } else if (type == "DATETIME" || type == "DATE" || type == "TIME" || type == "TIMESTAMP") {
      result.decl = "DATETIME";
      result.date = true;
    } else if (type == "DECIMAL" || type == "NUMERIC" || type == "DEC") {
      std::int64_t precision = 18;
      std::int64_t scale = 0;
      if (AcceptSymbol("(")) {
        precision = ReadInteger();
        if (AcceptSymbol(",")) scale = ReadInteger();
        ExpectSymbol(")");
      }
      if (precision < 1 || precision > 28 || scale < 0 || scale > precision) {
        SyntaxError("The precision of decimal field '" + column +
                    "' must be 1 to 28 and its scale 0 to the precision.");
      }
      result.decl = "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    } else if (type == "TEXT" || type == "VARCHAR" || type == "CHAR" || type == "CHARACTER" ||
               type == "ALPHANUMERIC" || type == "STRING" || type == "NVARCHAR" ||
               type == "NCHAR") {
      result.text = true;
      if (type == "TEXT" && !IsSymbol("(")) {
        result.decl = "LONGTEXT";  // TEXT without a size is a memo through the OLE DB provider
      } else {
        result.maxLength = lengthArgument(kMaxTextLength);
        const bool fixed = type == "CHAR" || type == "CHARACTER" || type == "NCHAR";
        result.decl =
            std::string(fixed ? "CHAR(" : "VARCHAR(") + std::to_string(result.maxLength) + ")";
      }
    } else if (type == "MEMO" || type == "LONGTEXT" || type == "LONGCHAR" || type == "NOTE" ||
               type == "NTEXT") {
      result.text = true;
      result.decl = "LONGTEXT";  // MEMO would give SQLite's numeric affinity
    } else if (type == "BINARY" || type == "VARBINARY" || type == "LONGBINARY" ||
               type == "OLEOBJECT" || type == "GENERAL" || type == "IMAGE" || type == "GUID" ||
               type == "UNIQUEIDENTIFIER") {
      SyntaxError("The data type " + type + " of field '" + column +
                  "' is not supported by this engine.");
    } else {
      m_pos--;
      Fail("Unknown data type for field '" + column + "'.");
    }
    return result;
  }

  std::string DefaultValue() {
    std::string sign;
    if (IsSymbol("-") || IsSymbol("+")) sign = Next().text;
    const Token& token = Peek();
    if (token.type == TokenType::Number) return sign + Primary().sql;
    if (!sign.empty()) Fail("Expected a number after the sign.");
    if (token.type == TokenType::String || token.type == TokenType::Date) return Primary().sql;
    if (IsWord("NULL") || IsWord("TRUE") || IsWord("FALSE")) return Primary().sql;
    if ((IsWord("NOW") || IsWord("DATE") || IsWord("TIME")) && IsSymbol("(", 1)) {
      return "(" + Primary().sql + ")";
    }
    Fail("A default value must be a constant, Now(), Date() or Time().");
  }

  std::string References(ForeignKey& key) {
    key.refTable = ReadName();
    std::string out = "REFERENCES " + QuoteName(key.refTable);
    if (IsSymbol("(")) {
      key.refColumns = NameList();
      out += " (" + JoinQuoted(key.refColumns) + ")";
    }
    while (AcceptWord("ON")) {
      std::string event;
      if (AcceptWord("DELETE")) {
        event = " ON DELETE ";
      } else if (AcceptWord("UPDATE")) {
        event = " ON UPDATE ";
      } else {
        Fail("Expected DELETE or UPDATE.");
      }
      if (IsWord("CASCADE")) {
        Next();
        out += event + "CASCADE";
      } else if (IsWord("SET") && IsWord("NULL", 1)) {
        Next();
        Next();
        out += event + "SET NULL";
      } else if (IsWord("NO") && IsWord("ACTION", 1)) {
        Next();
        Next();
      } else {
        Fail("Expected CASCADE, SET NULL or NO ACTION.");
      }
    }
    return out;
  }

  static std::string Named(const std::string& constraint) {
    return constraint.empty() ? std::string() : "CONSTRAINT " + QuoteName(constraint) + " ";
  }

  void ColumnConstraint(Statement& statement, ColumnDef& column, const std::string& constraint) {
    if (AcceptWord("PRIMARY")) {
      ExpectWord("KEY");
      if (column.inlinePrimaryKey) Fail("The field is the primary key twice.");
      column.inlinePrimaryKey = true;
      column.primaryKeyName = constraint;
    } else if (AcceptWord("UNIQUE")) {
      column.constraints.push_back(Named(constraint) + "UNIQUE");
      statement.uniqueKeys.push_back({column.name});
    } else if (AcceptWord("NOT")) {
      ExpectWord("NULL");
      column.constraints.push_back(Named(constraint) + "NOT NULL");
    } else if (AcceptWord("REFERENCES")) {
      ForeignKey key;
      key.constraint = constraint;
      key.columns = {column.name};
      column.constraints.push_back(Named(constraint) + References(key));
      statement.foreignKeys.push_back(std::move(key));
    } else if (AcceptWord("CHECK")) {
      const std::string condition = SchemaCondition();
      column.constraints.push_back(Named(constraint) + "CHECK (" + condition + ")");
    } else {
      Fail("Expected PRIMARY KEY, UNIQUE, NOT NULL, REFERENCES or CHECK.");
    }
  }

  ColumnDef ReadColumn(Statement& statement) {
    ColumnDef column;
    column.name = ReadName();
    column.type = ReadType(column.name);
    for (;;) {
      if (AcceptWord("NOT")) {
        ExpectWord("NULL");
        column.notNull = true;
      } else if (AcceptWord("NULL")) {
      } else if (AcceptWord("DEFAULT")) {
        column.defaultSql = DefaultValue();
      } else if (IsWord("WITH")) {
        // Unicode compression changes how Jet stores text, not what it holds.
        Next();
        if (!AcceptWord("COMPRESSION") && !AcceptWord("COMP")) Fail("Expected COMPRESSION.");
      } else if (AcceptWord("CONSTRAINT")) {
        const std::string constraint = ReadName();
        ColumnConstraint(statement, column, constraint);
      } else if (IsWord("PRIMARY") || IsWord("UNIQUE") || IsWord("REFERENCES") || IsWord("CHECK")) {
        ColumnConstraint(statement, column, "");
      } else {
        return column;
      }
    }
  }

  void CreateTable(Statement& statement) {
    m_context = "Syntax error in CREATE TABLE statement.";
    statement.table = ReadName();
    ExpectSymbol("(");
    std::vector<ColumnDef> columns;
    std::vector<std::string> tableConstraints;
    std::vector<std::string> primaryKey;
    std::string primaryKeyName;
    bool tablePrimaryKey = false;
    do {
      std::string constraint;
      const bool named = IsWord("CONSTRAINT");
      if (named) {
        Next();
        constraint = ReadName();
      }
      if (AcceptWord("PRIMARY")) {
        ExpectWord("KEY");
        if (!primaryKey.empty()) Fail("A table has only one primary key.");
        primaryKey = NameList();
        primaryKeyName = constraint;
        tablePrimaryKey = true;
      } else if (AcceptWord("UNIQUE")) {
        const auto names = NameList();
        tableConstraints.push_back(Named(constraint) + "UNIQUE (" + JoinQuoted(names) + ")");
        statement.uniqueKeys.push_back(names);
      } else if (AcceptWord("FOREIGN")) {
        ExpectWord("KEY");
        ForeignKey key;
        key.constraint = constraint;
        key.columns = NameList();
        ExpectWord("REFERENCES");
        const std::string references = References(key);
        tableConstraints.push_back(Named(constraint) + "FOREIGN KEY (" + JoinQuoted(key.columns) +
                                   ") " + references);
        statement.foreignKeys.push_back(std::move(key));
      } else if (AcceptWord("CHECK")) {
        const std::string condition = SchemaCondition();
        m_context = "Syntax error in CREATE TABLE statement.";
        tableConstraints.push_back(Named(constraint) + "CHECK (" + condition + ")");
      } else if (named) {
        Fail("Expected PRIMARY KEY, UNIQUE, FOREIGN KEY or CHECK.");
      } else {
        columns.push_back(ReadColumn(statement));
        if (columns.back().inlinePrimaryKey) {
          if (!primaryKey.empty()) Fail("A table has only one primary key.");
          primaryKey = {columns.back().name};
          primaryKeyName = columns.back().primaryKeyName;
        }
      }
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    if (columns.empty()) Fail("A table needs at least one field.");

    const ColumnDef* counter = nullptr;
    for (const auto& column : columns) {
      if (!column.type.counter) continue;
      if (counter) SyntaxError("A table can have only one counter field.");
      counter = &column;
    }
    if (counter) {
      // SQLite numbers rows itself only for its INTEGER PRIMARY KEY, so the
      // counter becomes the key (Jet's counters are unique by making anyway).
      if (primaryKey.empty()) {
        primaryKey = {counter->name};
      } else if (primaryKey.size() != 1 || !EqualsNoCase(primaryKey.front(), counter->name)) {
        SyntaxError("The counter field '" + counter->name +
                    "' must be the primary key of its table in this engine.");
      }
      tablePrimaryKey = false;
    }
    auto inPrimaryKey = [&primaryKey](const std::string& name) {
      return std::any_of(primaryKey.begin(), primaryKey.end(),
                         [&name](const std::string& key) { return EqualsNoCase(key, name); });
    };

    std::string out = "CREATE TABLE " + QuoteName(statement.table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const ColumnDef& column = columns[i];
      const bool keyColumn = inPrimaryKey(column.name);
      std::string decl = column.type.decl;
      // A lone INTEGER key would become SQLite's row number, which fills in a
      // Null instead of refusing it as Jet does; INT keeps the same affinity.
      if (keyColumn && !column.type.counter && column.type.integer && primaryKey.size() == 1) {
        decl = "INT";
      }
      out += (i ? ", " : "") + QuoteName(column.name) + " " + decl;
      if (column.type.text) out += " COLLATE NOCASE";  // Jet compares text without regard to case
      if (column.type.counter) {
        out += " " + Named(primaryKeyName) + "PRIMARY KEY AUTOINCREMENT";
      } else if (keyColumn && !tablePrimaryKey) {
        out += " " + Named(primaryKeyName) + "PRIMARY KEY";
      }
      // Jet's key fields never hold Null; SQLite would let them.
      if (column.notNull || (keyColumn && !column.type.counter)) out += " NOT NULL";
      if (!column.defaultSql.empty()) out += " DEFAULT " + column.defaultSql;
      for (const auto& constraint : column.constraints) out += " " + constraint;
      if (column.type.maxLength > 0) {
        out += " CONSTRAINT " + QuoteName(std::string(kMaxLengthCheck) + column.name) +
               " CHECK (length(" + QuoteName(column.name) +
               ") <= " + std::to_string(column.type.maxLength) + ")";
      }
      if (column.type.date) {
        out += " CONSTRAINT " + QuoteName(std::string(kDateCheck) + column.name) + " CHECK (" +
               QuoteName(column.name) + " IS NULL OR " + QuoteName(column.name) + " GLOB " +
               std::string(kDateGlob) + ")";
      }
      statement.columns.push_back(column.name);
    }
    if (tablePrimaryKey) {
      out += ", " + Named(primaryKeyName) + "PRIMARY KEY (" + JoinQuoted(primaryKey) + ")";
    }
    for (const auto& constraint : tableConstraints) out += ", " + constraint;
    out += ")";
    statement.sql = std::move(out);
    statement.primaryKey = primaryKey;
    if (counter && counter->type.seed != 1) {
      statement.followUps.push_back("INSERT INTO sqlite_sequence (name, seq) VALUES (" +
                                    QuoteText(statement.table) + ", " +
                                    std::to_string(counter->type.seed - 1) + ")");
    }
  }

  // ----- CREATE INDEX

  void CreateIndex(Statement& statement) {
    m_context = "Syntax error in CREATE INDEX statement.";
    const bool unique = AcceptWord("UNIQUE");
    ExpectWord("INDEX");
    statement.index = ReadName();
    ExpectWord("ON");
    statement.table = ReadName();
    ExpectSymbol("(");
    std::string columns;
    do {
      const std::string column = ReadName();
      statement.indexColumns.push_back(column);
      columns += (columns.empty() ? "" : ", ") + QuoteName(column);
      if (AcceptWord("DESC")) {
        columns += " DESC";
      } else {
        AcceptWord("ASC");
      }
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    if (AcceptWord("WITH")) {
      if (AcceptWord("PRIMARY")) {
        statement.indexOption = IndexOption::Primary;
      } else if (AcceptWord("DISALLOW")) {
        ExpectWord("NULL");
        statement.indexOption = IndexOption::DisallowNull;
      } else if (AcceptWord("IGNORE")) {
        ExpectWord("NULL");
        statement.indexOption = IndexOption::IgnoreNull;
      } else {
        Fail("Expected PRIMARY, DISALLOW NULL or IGNORE NULL.");
      }
    }
    const bool makeUnique = unique || statement.indexOption == IndexOption::Primary;
    std::string out = std::string(makeUnique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                      QuoteName(statement.index) + " ON " + QuoteName(statement.table) + " (" +
                      columns + ")";
    if (statement.indexOption == IndexOption::IgnoreNull) {
      std::string where;
      for (const auto& column : statement.indexColumns) {
        where += (where.empty() ? "" : " AND ") + QuoteName(column) + " IS NOT NULL";
      }
      out += " WHERE " + where;
    }
    statement.sql = std::move(out);
  }

  std::string_view m_sql;
  std::vector<Token> m_tokens;
  std::size_t m_pos = 0;
  std::string m_context;
  int m_expressionNumber = 1000;
  bool m_schemaExpression = false;
  int m_depth = 0;
  bool m_rowLocal = true;  // cleared by a subquery or a clock function
  std::optional<std::int64_t> m_top;
  std::size_t m_topInsertAt = 0;
};

}  // namespace

// ---------------------------------------------------------------------------

std::optional<std::string> ParseDateLiteral(std::string_view text) {
  const auto words = SplitWords(text);
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  std::size_t i = 0;
  bool any = false;
  if (i < words.size() && words[i].find(':') == std::string_view::npos) {
    if (!ParseDatePart(words[i], year, month, day)) return std::nullopt;
    ++i;
    any = true;
  }
  if (i < words.size() && words[i].find(':') != std::string_view::npos) {
    if (!ParseTimePart(words[i], hour, minute, second)) return std::nullopt;
    ++i;
    any = true;
    if (i < words.size() && (EqualsNoCase(words[i], "AM") || EqualsNoCase(words[i], "PM"))) {
      if (hour < 1 || hour > 12) return std::nullopt;
      const bool pm = EqualsNoCase(words[i], "PM");
      hour = hour % 12 + (pm ? 12 : 0);
      ++i;
    }
  }
  if (!any || i != words.size()) return std::nullopt;
  if (!DateFromCalendar(year, month, day, hour, minute, second)) return std::nullopt;
  CalendarTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return DateToStorageText(time);
}

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  const std::size_t n = sql.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(sql[i]);
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    Token token;
    token.offset = i;
    if (c == '[') {
      const std::size_t close = sql.find(']', i + 1);
      const std::string_view inside =
          close == std::string_view::npos ? std::string_view() : sql.substr(i + 1, close - i - 1);
      const bool bad = close == std::string_view::npos || inside.empty() || inside.front() == ' ' ||
                       std::any_of(inside.begin(), inside.end(), [](char ch) {
                         const auto u = static_cast<unsigned char>(ch);
                         return u < 0x20 || ch == '[' || ch == '.' || ch == '!' || ch == '`';
                       });
      if (bad) {
        SyntaxError("Invalid bracketing of name '" + Excerpt(sql, i) + "' (character " +
                    std::to_string(i + 1) + ").");
      }
      token.type = TokenType::BracketName;
      token.text = std::string(inside);
      i = close + 1;
    } else if (c == '\'' || c == '"') {
      // Jet reads "text" as a string too, unlike ANSI SQL.
      const char quote = static_cast<char>(c);
      std::string value;
      std::size_t j = i + 1;
      bool closed = false;
      while (j < n) {
        if (sql[j] == '\0') break;
        if (sql[j] == quote) {
          if (j + 1 < n && sql[j + 1] == quote) {
            value += quote;
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        value += sql[j++];
      }
      if (!closed) {
        SyntaxError("Syntax error in string in query expression '" + Excerpt(sql, i) +
                    "' (character " + std::to_string(i + 1) + ").");
      }
      token.type = TokenType::String;
      token.text = std::move(value);
      i = j;
    } else if (c == '#') {
      const std::size_t close = sql.find('#', i + 1);
      const std::optional<std::string> date =
          close == std::string_view::npos ? std::nullopt
                                          : ParseDateLiteral(sql.substr(i + 1, close - i - 1));
      if (!date) {
        const std::string_view literal =
            close == std::string_view::npos ? sql.substr(i) : sql.substr(i, close - i + 1);
        SyntaxError("Syntax error in date in query expression '" + Excerpt(literal, 0) +
                    "' (character " + std::to_string(i + 1) + ").");
      }
      token.type = TokenType::Date;
      token.text = *date;
      i = close + 1;
    } else if (IsDigit(c) ||
               (c == '.' && i + 1 < n && IsDigit(static_cast<unsigned char>(sql[i + 1])))) {
      std::size_t j = i;
      while (j < n && IsDigit(static_cast<unsigned char>(sql[j]))) ++j;
      if (j < n && sql[j] == '.') {
        ++j;
        while (j < n && IsDigit(static_cast<unsigned char>(sql[j]))) ++j;
      }
      if (j < n && (sql[j] == 'e' || sql[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < n && (sql[k] == '+' || sql[k] == '-')) ++k;
        if (k < n && IsDigit(static_cast<unsigned char>(sql[k]))) {
          while (k < n && IsDigit(static_cast<unsigned char>(sql[k]))) ++k;
          j = k;
        }
      }
      token.type = TokenType::Number;
      token.text = std::string(sql.substr(i, j - i));
      i = j;
    } else if (IsNameStart(c)) {
      std::size_t j = i;
      while (j < n && IsNameChar(static_cast<unsigned char>(sql[j]))) ++j;
      token.type = TokenType::Name;
      token.text = std::string(sql.substr(i, j - i));
      i = j;
    } else {
      static constexpr std::array<std::string_view, 3> kTwoChar = {"<>", "<=", ">="};
      static constexpr std::string_view kOneChar = "<>=+-*/\\^&(),;.!?";
      token.type = TokenType::Symbol;
      const std::string_view two = sql.substr(i, 2);
      if (std::find(kTwoChar.begin(), kTwoChar.end(), two) != kTwoChar.end()) {
        token.text = std::string(two);
      } else if (kOneChar.find(static_cast<char>(c)) != std::string_view::npos) {
        token.text = std::string(1, static_cast<char>(c));
      } else {
        SyntaxError("Invalid character in SQL statement at character " + std::to_string(i + 1) +
                    ".");
      }
      i += token.text.size();
    }
    token.length = i - token.offset;
    tokens.push_back(std::move(token));
  }
  Token end;
  end.offset = n;
  tokens.push_back(std::move(end));
  return tokens;
}

Statement Translate(std::string_view jetSql) {
  // Jet's own limit on a statement's length; it also bounds the translator's
  // work on pathological input.
  constexpr std::size_t kMaxStatementLength = 64000;
  if (jetSql.size() > kMaxStatementLength)
    SyntaxError("The SQL statement is too long: Jet accepts at most " +
                std::to_string(kMaxStatementLength) + " characters.");
  return Translator(jetSql).Run();
}

std::vector<std::string> RequiredTriggers(std::string_view index, std::string_view table,
                                          const std::vector<std::string>& columns) {
  std::string nullTest;
  std::string columnList;
  for (const auto& column : columns) {
    nullTest +=
        (nullTest.empty() ? "" : " OR ") + std::string("NEW.") + QuoteName(column) + " IS NULL";
    columnList += (columnList.empty() ? "" : ", ") + QuoteName(column);
  }
  const std::string raise = " BEGIN SELECT RAISE(ABORT, " +
                            QuoteText(std::string(kRequiredMessage) + std::string(index)) +
                            "); END";
  const std::string name = std::string(index) + std::string(kRequiredTrigger);
  return {
      "CREATE TRIGGER " + QuoteName(name + "_insert") + " BEFORE INSERT ON " + QuoteName(table) +
          " FOR EACH ROW WHEN " + nullTest + raise,
      "CREATE TRIGGER " + QuoteName(name + "_update") + " BEFORE UPDATE OF " + columnList + " ON " +
          QuoteName(table) + " FOR EACH ROW WHEN " + nullTest + raise,
  };
}

std::string QuoteName(std::string_view name) {
  // Not "name": SQLite reads a double-quoted name that matches no column as
  // a string, which would turn a misspelt field into a constant.
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  return out + "`";
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

VARTYPE VariantTypeOfDeclaredType(std::string_view declaredType) {
  std::string type = Upper(declaredType.substr(0, declaredType.find('(')));
  while (!type.empty() && IsSpace(static_cast<unsigned char>(type.back()))) type.pop_back();
  static constexpr std::array<std::pair<std::string_view, VARTYPE>, 44> kTypes = {{
      {"INTEGER", VT_I4},      {"INT", VT_I4},
      {"LONG", VT_I4},         {"INTEGER4", VT_I4},
      {"COUNTER", VT_I4},      {"AUTOINCREMENT", VT_I4},
      {"SMALLINT", VT_I2},     {"SHORT", VT_I2},
      {"INTEGER2", VT_I2},     {"TINYINT", VT_UI1},
      {"BYTE", VT_UI1},        {"INTEGER1", VT_UI1},
      {"REAL", VT_R4},         {"SINGLE", VT_R4},
      {"FLOAT4", VT_R4},       {"DOUBLE", VT_R8},
      {"FLOAT", VT_R8},        {"FLOAT8", VT_R8},
      {"NUMBER", VT_R8},       {"CURRENCY", VT_CY},
      {"MONEY", VT_CY},        {"DATETIME", VT_DATE},
      {"DATE", VT_DATE},       {"TIME", VT_DATE},
      {"TIMESTAMP", VT_DATE},  {"VARCHAR", VT_BSTR},
      {"CHAR", VT_BSTR},       {"CHARACTER", VT_BSTR},
      {"TEXT", VT_BSTR},       {"LONGTEXT", VT_BSTR},
      {"MEMO", VT_BSTR},       {"NOTE", VT_BSTR},
      {"NVARCHAR", VT_BSTR},   {"NCHAR", VT_BSTR},
      {"BIT", VT_BOOL},        {"YESNO", VT_BOOL},
      {"BOOLEAN", VT_BOOL},    {"LOGICAL", VT_BOOL},
      {"LOGICAL1", VT_BOOL},   {"DECIMAL", VT_DECIMAL},
      {"NUMERIC", VT_DECIMAL}, {"DEC", VT_DECIMAL},
      {"LONGCHAR", VT_BSTR},   {"ALPHANUMERIC", VT_BSTR},
  }};
  for (const auto& [name, vt] : kTypes) {
    if (type == name) return vt;
  }
  return VT_EMPTY;
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

}  // namespace mivotra::jet
