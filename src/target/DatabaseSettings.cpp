#include "target/DatabaseSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/UniqueFd.h"
#include "base/Utf8.h"

// The settings are read from the file directly, following the INI format
// QSettings writes, rather than through QSettings itself: QSettings turns an
// unquoted "a, b" into a list, "@Invalid()" into nothing and bytes that are
// not UTF-8 into U+FFFD, and it fixes its default paths once per process. A
// password must come back exactly as stored.

namespace mivotra {

namespace {

constexpr std::string_view GroupName = "DATABASE";

// ---- UTF-8 <-> UTF-16, keeping bytes that are not UTF-8 -------------------
// QSettings works on UTF-16 strings whose escapes (\x41, \101) give code
// units. A byte that belongs to no valid UTF-8 sequence is carried as the
// lone surrogate 0xDC00 + byte and becomes that byte again on the way out.

void AppendUtf8AsUtf16(std::u16string& out, std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto decoded = utf8::DecodeAt(bytes, i);
    if (!decoded) {
      out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i]));
      ++i;
      continue;
    }
    char32_t code = decoded->code;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += decoded->length;
  }
}

std::string Utf16ToBytes(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      utf8::AppendCodePoint(out,
                            0x10000 + ((char32_t(unit) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      out += static_cast<char>(unit - 0xDC00);  // a byte kept from the file
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      utf8::AppendCodePoint(out, 0xFFFD);
    } else {
      utf8::AppendCodePoint(out, unit);
    }
  }
  return out;
}

// ---- The INI format as QSettings reads it --------------------------------

bool IsIniSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsIniSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int OctValue(char c) {
  return c >= '0' && c <= '7' ? c - '0' : -1;
}

struct IniLine {
  std::string_view text;
  std::optional<std::size_t> equals;  // position of the first '=' outside quotes
};

// One logical line from position `pos`: blank lines and lines that begin with
// ';' are skipped; a line ends at a line break or a ';' outside quotes; a
// backslash protects the next character, a line break included.
std::optional<IniLine> NextLine(std::string_view data, std::size_t& pos) {
  std::size_t start = pos;
  while (start < data.size() && IsIniSpace(data[start])) ++start;
  std::size_t i = start;
  std::optional<std::size_t> equals;
  bool inQuotes = false;
  while (i < data.size()) {
    const char c = data[i++];
    if (c == '=') {
      if (!inQuotes && !equals) equals = i - 1 - start;
    } else if (c == '\n' || c == '\r') {
      if (!inQuotes) {
        --i;
        break;
      }
    } else if (c == '\\') {
      if (i < data.size()) {
        const char escaped = data[i++];
        if (i < data.size()) {
          const char after = data[i];
          if ((escaped == '\n' && after == '\r') || (escaped == '\r' && after == '\n')) ++i;
        }
      }
    } else if (c == '"') {
      inQuotes = !inQuotes;
    } else if (c == ';') {
      if (i == start + 1) {  // a comment line
        while (i < data.size() && data[i] != '\n' && data[i] != '\r') ++i;
        while (i < data.size() && IsIniSpace(data[i])) ++i;
        start = i;
        equals.reset();
      } else if (!inQuotes) {
        --i;
        break;
      }
    }
  }
  pos = i;
  if (i == start) return std::nullopt;
  return IniLine{data.substr(start, i - start), equals};
}

// Key and section names: '\' stands for '/', %XX and %UXXXX for characters.
std::string UnescapedKey(std::string_view key) {
  std::u16string units;
  AppendUtf8AsUtf16(units, key);
  std::u16string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit == u'\\') {
      out += u'/';
      continue;
    }
    if (unit != u'%' || i + 1 == units.size()) {
      out += unit;
      continue;
    }
    std::size_t first = i + 1;
    std::size_t digits = 2;
    if (units[first] == u'U') ++first, digits = 4;
    if (first + digits > units.size()) {
      out += u'%';
      continue;
    }
    unsigned value = 0;
    bool ok = true;
    for (std::size_t k = first; k < first + digits && ok; ++k) {
      const int h = units[k] < 0x80 ? HexValue(static_cast<char>(units[k])) : -1;
      ok = h >= 0;
      value = value * 16 + static_cast<unsigned>(h);
    }
    if (!ok) {
      out += u'%';
      continue;
    }
    out += static_cast<char16_t>(value);
    i = first + digits - 1;
  }
  return Utf16ToBytes(out);
}

struct UnescapedValue {
  std::u16string text;
  bool isList = false;
};

void ChopTrailingBlanks(std::u16string& text, std::size_t limit) {
  while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t')) text.pop_back();
}

// A value: "..." quotes, C escapes (\n, \x41, \101, ...), a backslash before
// a line break joins lines, and a ',' outside quotes makes a list.
UnescapedValue UnescapedIniValue(std::string_view raw) {
  static constexpr std::string_view escapeLetters = "abfnrtv\"?'\\";
  static constexpr std::u16string_view escapedUnits = u"\a\b\f\n\r\t\v\"?'\\";
  UnescapedValue value;
  std::u16string& current = value.text;
  bool inQuotes = false;
  bool currentQuoted = false;
  std::size_t i = 0;
  std::size_t chopLimit = 0;
  auto skipBlanks = [&] {
    while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t')) ++i;
    chopLimit = current.size();
  };
  skipBlanks();
  bool cutShort = false;  // ended inside an escape: no trailing blanks are dropped
  while (i < raw.size() && !cutShort) {
    const char c = raw[i];
    if (c == '\\') {
      ++i;
      if (i >= raw.size()) {
        cutShort = true;
        break;
      }
      const char escaped = raw[i++];
      const std::size_t simple = escapeLetters.find(escaped);
      if (simple != std::string_view::npos) {
        current += escapedUnits[simple];
      } else if (escaped == 'x') {
        if (i >= raw.size()) {
          cutShort = true;
          break;
        }
        if (HexValue(raw[i]) >= 0) {
          char16_t unit = 0;
          while (i < raw.size() && HexValue(raw[i]) >= 0)
            unit = static_cast<char16_t>((unit << 4) + HexValue(raw[i++]));
          current += unit;
        }
      } else if (OctValue(escaped) >= 0) {
        auto unit = static_cast<char16_t>(OctValue(escaped));
        while (i < raw.size() && OctValue(raw[i]) >= 0)
          unit = static_cast<char16_t>((unit << 3) + OctValue(raw[i++]));
        current += unit;
      } else if (escaped == '\n' || escaped == '\r') {
        if (i < raw.size() && (raw[i] == '\n' || raw[i] == '\r') && raw[i] != escaped) ++i;
      }
      // Any other escaped character is dropped, as QSettings drops it.
      chopLimit = current.size();
    } else if (c == '"') {
      ++i;
      currentQuoted = true;
      inQuotes = !inQuotes;
      if (!inQuotes) skipBlanks();
    } else if (c == ',' && !inQuotes) {
      if (!currentQuoted) ChopTrailingBlanks(current, chopLimit);
      value.isList = true;
      current.clear();
      currentQuoted = false;
      ++i;
      skipBlanks();
    } else {
      std::size_t end = i + 1;
      while (end < raw.size() && raw[end] != '\\' && raw[end] != '"' && raw[end] != ',') ++end;
      AppendUtf8AsUtf16(current, raw.substr(i, end - i));
      i = end;
    }
  }
  if (!cutShort && !currentQuoted) ChopTrailingBlanks(current, chopLimit);
  return value;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The text of a stored value. Where QSettings would hand back something other
// than a string (a list, a serialised variant, a rectangle), the value is
// taken as it stands in the file: that is what the user wrote.
std::string ValueText(std::string_view raw) {
  const UnescapedValue value = UnescapedIniValue(raw);
  const std::string asWritten(Trimmed(raw));
  if (value.isList) return asWritten;

  std::u16string_view text = value.text;
  if (StartsWith(text, u"@") && text.size() > 1 && text.back() == u')') {
    if (StartsWith(text, u"@ByteArray(")) {
      // Stored bytes: each code unit is one byte.
      std::string bytes;
      for (char16_t unit : text.substr(11, text.size() - 12)) {
        if (unit <= 0xFF)
          bytes += static_cast<char>(unit);
        else if (unit >= 0xDC80 && unit <= 0xDCFF)
          bytes += static_cast<char>(unit - 0xDC00);
        else
          bytes += '?';
      }
      return bytes;
    }
    if (StartsWith(text, u"@String(")) return Utf16ToBytes(text.substr(8, text.size() - 9));
    if (text == u"@Invalid()") return {};
    if (StartsWith(text, u"@Variant(") || StartsWith(text, u"@DateTime(") ||
        StartsWith(text, u"@Rect(") || StartsWith(text, u"@Size(") || StartsWith(text, u"@Point("))
      return asWritten;
  }
  if (StartsWith(text, u"@@")) text.remove_prefix(1);
  return Utf16ToBytes(text);
}

// Only a regular file counts: a folder, a FIFO (which would block) or a
// device (/dev/zero never ends) at the name is no settings file.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.valid()) return std::nullopt;
  const int fd = file.get();
  struct stat info = {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string DatabaseSettingsFile() {
  // The folder QSettings uses for user settings on this platform.
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (folder + QStringLiteral("/MIVOTRA/MIVOTRA.conf")).toStdString();
}

StoredDatabase ReadDatabaseSettings() {
  return ReadDatabaseSettingsFile(DatabaseSettingsFile());
}

StoredDatabase ReadDatabaseSettingsFile(const std::string& path) {
  StoredDatabase stored;
  std::optional<std::string> file = ReadWholeFile(path);
  if (!file) return stored;

  std::string_view data = *file;
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);

  // The last line for a key wins, as it does for QSettings.
  std::optional<std::string_view> fileName, pathName, password;
  std::string section;
  std::size_t pos = 0;
  while (std::optional<IniLine> line = NextLine(data, pos)) {
    if (line->text.front() == '[') {
      const std::size_t close = line->text.find(']');
      const std::string_view name =
          Trimmed(line->text.substr(1, close == std::string_view::npos ? close : close - 1));
      if (AsciiEqualNoCase(name, "general"))
        section.clear();
      else if (AsciiEqualNoCase(name, "%general"))
        section = std::string(name.substr(1)) + '/';
      else
        section = UnescapedKey(name) + '/';
      continue;
    }
    if (!line->equals) continue;
    const std::string key = section + UnescapedKey(Trimmed(line->text.substr(0, *line->equals)));
    const std::string_view raw = line->text.substr(*line->equals + 1);
    if (key.size() <= GroupName.size() || key.compare(0, GroupName.size(), GroupName) != 0 ||
        key[GroupName.size()] != '/')
      continue;
    stored.found = true;
    const std::string_view name = std::string_view(key).substr(GroupName.size() + 1);
    if (name == "FileName") fileName = raw;
    if (name == "PathName") pathName = raw;
    if (name == "Password") password = raw;
  }

  // Read in this order, each up to a NUL, which no file name or key can hold.
  auto text = [](const std::optional<std::string_view>& raw) {
    if (!raw) return std::string();
    std::string value = ValueText(*raw);
    if (const std::size_t nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
    return value;
  };
  stored.FileName = text(fileName);
  stored.PathName = text(pathName);
  stored.Password = text(password);
  return stored;
}

}  // namespace mivotra
