#include "ScreenHooks.h"

namespace mivotra::test {

std::vector<std::string> MessageTexts(const RecordingScreen& screen) {
  std::vector<std::string> texts;
  for (const auto& message : screen.Messages()) texts.push_back(message.text);
  return texts;
}

std::string EncodeMessages(const RecordingScreen& screen) {
  std::string out;
  for (const auto& m : screen.Messages())
    out += m.caption + '\x1f' + m.text + '\x1f' + std::to_string(static_cast<int>(m.icon)) + '\x1e';
  return out;
}

std::vector<ScreenEvent> DecodeMessages(const std::string& encoded) {
  std::vector<ScreenEvent> messages;
  std::size_t start = 0;
  for (std::size_t end; (end = encoded.find('\x1e', start)) != std::string::npos; start = end + 1) {
    const std::string box = encoded.substr(start, end - start);
    const std::size_t a = box.find('\x1f');
    const std::size_t b = box.rfind('\x1f');
    if (a == std::string::npos || b == a) continue;
    messages.push_back({ScreenEvent::Message, box.substr(a + 1, b - a - 1), box.substr(0, a),
                        static_cast<MessageIcon>(std::stoi(box.substr(b + 1)))});
  }
  return messages;
}

}  // namespace mivotra::test
