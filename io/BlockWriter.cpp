// io/BlockWriter.cpp - handing the block to the stream, and the rarely used writes.
// The declarations and their contracts are in io/BlockWriter.h.
#include "io/BlockWriter.h"

#include <charconv>
#include <cstring>
#include <string>

namespace tessgrid::detail {

TBlockWriter::TBlockWriter(std::ostream& Output, int LngMaxDigits)
    : MbrOutput(Output),
      MbrFormat(NumberFormatOf(Output, LngMaxDigits)),
      MbrPlainDecimals(PlainDecimalsOf(MbrFormat)),
      MbrPtrBlock(new char[kLngBlockSize]),
      MbrPtrNext(MbrPtrBlock.get()),
      MbrPtrEnd(MbrPtrBlock.get() + kLngBlockSize) {}

void TBlockWriter::Drain() {
  if (MbrPtrNext != MbrPtrBlock.get() && MbrOutput.good()) {
    MbrOutput.write(MbrPtrBlock.get(), MbrPtrNext - MbrPtrBlock.get());
  }
  MbrPtrNext = MbrPtrBlock.get();
}

void TBlockWriter::PutText(const char* PtrText) {
  for (; *PtrText != '\0'; ++PtrText) {
    PutChar(*PtrText);
  }
}

void TBlockWriter::PutInteger(long LngValue) {
  char ChrText[32];
  const std::to_chars_result Result = std::to_chars(ChrText, ChrText + sizeof ChrText, LngValue);
  *Result.ptr = '\0';
  PutText(ChrText);
}

void TBlockWriter::PutLongNumber(double DblValue, bool BlnMarkWhole) {
  std::string StgText = NumberText(DblValue, MbrFormat);
  if (BlnMarkWhole) {
    const std::size_t LngLength = StgText.size();
    StgText.resize(LngLength + 2);
    StgText.resize(MarkWholeNumber(&StgText[0], LngLength));
  }
  PutText(StgText.c_str());
}

void TBlockWriter::PutPadded(double DblValue, std::size_t LngWidth) {
  const std::string StgText = NumberText(DblValue, MbrFormat);
  const std::size_t LngPadding = StgText.size() < LngWidth ? LngWidth - StgText.size() : 0;
  const bool BlnLeft = (MbrOutput.flags() & std::ios_base::adjustfield) == std::ios_base::left;
  if (BlnLeft) {
    PutText(StgText.c_str());
  }
  for (std::size_t LngI = 0; LngI < LngPadding; ++LngI) {
    PutChar(MbrOutput.fill());
  }
  if (!BlnLeft) {
    PutText(StgText.c_str());
  }
}

void TBlockWriter::EndRow() {
  PutChar('\n');
  Finish();
}

void TBlockWriter::Finish() {
  Drain();
  if (MbrOutput.good()) {
    MbrOutput.flush();
  }
}

}  // namespace tessgrid::detail
