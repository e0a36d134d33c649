#include "base/Utf8.h"

namespace mivotra::utf8 {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the sequence starting at text[pos]: positive when well-formed,
// negative (minus the bytes of its maximal ill-formed part) when not.
int SequenceAt(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return 1;
  int trailing = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return -1;
  }
  std::size_t next = pos + 1;
  for (int i = 0; i < trailing; ++i, ++next) {
    if (next >= text.size()) return -static_cast<int>(next - pos);
    const auto byte = static_cast<unsigned char>(text[next]);
    if (byte < low || byte > high) return -static_cast<int>(next - pos);
    low = 0x80;
    high = 0xBF;
  }
  return trailing + 1;
}

}  // namespace

bool IsValid(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const int length = SequenceAt(text, pos);
    if (length < 0) return false;
    pos += static_cast<std::size_t>(length);
  }
  return true;
}

std::string Repair(std::string_view text) {
  std::string repaired;
  repaired.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const int length = SequenceAt(text, pos);
    if (length > 0) {
      repaired.append(text.substr(pos, static_cast<std::size_t>(length)));
      pos += static_cast<std::size_t>(length);
    } else {
      repaired.append(kReplacement);
      pos += static_cast<std::size_t>(-length);
    }
  }
  return repaired;
}

std::size_t CutPoint(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace mivotra::utf8
