// A built-in message file from arbitrary bytes: every record the reader keeps
// names a message and a function the messenger has, and the messenger's
// checks on the record's fields either refuse it with a message or build a
// request that fits one frame; the reply field's text is made from the same
// bytes in the record's format.
#include "driver/messenger.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace tessivar::windows;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Formatting the whole input costs as much as the rest: the first records
  // format it, so inputs of many records stay fast.
  int formatted = 0;
  for (const auto& [name, message] : ParseBuiltInMessages(text)) {
    if (name.empty() || name != message.name || message.functionIndex >= kMessengerFunctionCount ||
        message.address.empty())
      std::abort();
    for (int protocol : {0, 1}) {
      MessengerFields fields;
      fields.protocol = protocol;
      fields.ipAddress = "127.0.0.1";
      fields.functionIndex = message.functionIndex;
      fields.address = message.address;
      fields.quantity = message.quantity;
      fields.sendData = message.sendData;
      for (char& c : fields.sendData) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      MessengerRequest request;
      tessivar::TcpCommSetting tcp;
      tessivar::SerialCommSetting serial;
      const MessengerCheck check = BuildMessengerRequest(fields, request, tcp, serial);
      if (!check.ok()) continue;
      if (request.slave < 1 || request.slave > 247 || request.data.size() > kMaxRequestData ||
          request.expectedReply < 0 || request.expectedReply > kReplyBufferSize)
        std::abort();
    }
    if (++formatted > 4) continue;
    const int format = std::atoi(message.format.c_str());
    (void)FormatReply(data, static_cast<int>(size > kReplyBufferSize ? kReplyBufferSize : size),
                      format >= 0 && format <= 6 ? format : kWordHex, message.swap != "0", message.trimLength);
  }
  return 0;
}
