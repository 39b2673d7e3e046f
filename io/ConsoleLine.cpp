// io/ConsoleLine.cpp - the escaped failure line.
// The declaration and its contract are in io/ConsoleLine.h.
#include "io/ConsoleLine.h"

namespace tessgrid::detail {

void WriteConsoleLine(std::ostream& Output, std::string_view StgText) {
  static const char kChrHex[] = "0123456789abcdef";
  std::size_t LngPlain = 0;
  for (std::size_t LngI = 0; LngI < StgText.size(); ++LngI) {
    const auto ChrByte = static_cast<unsigned char>(StgText[LngI]);
    if (ChrByte >= 0x20 && ChrByte != 0x7f) {
      continue;
    }
    // The printable run before the byte goes out in one piece.
    Output.write(StgText.data() + LngPlain, static_cast<std::streamsize>(LngI - LngPlain));
    const char ChrEscape[4] = {'\\', 'x', kChrHex[ChrByte >> 4], kChrHex[ChrByte & 0xf]};
    Output.write(ChrEscape, sizeof ChrEscape);
    LngPlain = LngI + 1;
  }
  Output.write(StgText.data() + LngPlain, static_cast<std::streamsize>(StgText.size() - LngPlain));
  Output.put('\n');
  Output.flush();
}

}  // namespace tessgrid::detail
