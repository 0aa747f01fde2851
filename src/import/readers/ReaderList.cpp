// The explicit list of built-in readers: one line per reader, in file type
// order. A type without a line here has no reader yet, and a run of it is
// refused with a message.
#include "import/ImportTypes.h"
#include "import/readers/CaptureReader.h"
#include "import/readers/FixtureReader.h"
#include "import/readers/GoldenCompassReader.h"

namespace quill {

void registerBuiltinReaders(ReaderRegistry& r) {
    (void)r;
    r.add("AUTOSIG", [] { return std::make_unique<CaptureReader>(CaptureType::Autosig); });
    r.add("GoldenCompass", [] { return std::make_unique<GoldenCompassReader>(); });
    r.add("OzCIS", [] { return std::make_unique<CaptureReader>(CaptureType::OzCis); });
    r.add("OzWin I", [] { return std::make_unique<CaptureReader>(CaptureType::OzWin1); });
    r.add("OzWin II", [] { return std::make_unique<CaptureReader>(CaptureType::OzWin2); });
    r.add("TAPCIS 5.x", [] { return std::make_unique<CaptureReader>(CaptureType::Tapcis5); });
    r.add("TAPCIS 6.x", [] { return std::make_unique<CaptureReader>(CaptureType::Tapcis6); });
    // Diagnostic: stages messages from the plain fixture format of the tests.
    r.addHidden(FixtureImportTypeName, FixtureImportType, ReaderFamily::ByteFile,
                [] { return std::make_unique<FixtureReader>(); });
}

}  // namespace quill
