// The explicit list of built-in readers: one line per reader, in file type
// order. A type without a line here has no reader yet, and a run of it is
// refused with a message.
#include "import/ImportTypes.h"
#include "import/readers/CaptureReader.h"
#include "import/readers/FixtureReader.h"
#include "import/readers/GoldenCompassReader.h"
#include "import/readers/MailReaders.h"
#include "import/readers/NewsReaders.h"

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
    r.add("Eudora", [] { return std::make_unique<EudoraMailbox>(); });
    r.add("IE Mail", [] { return std::make_unique<MarkerMailbox>(); });
    r.add("Pegasus", [] { return std::make_unique<PegasusFolder>(); });
    r.add("Netscape Mail", [] { return std::make_unique<NetscapeMailbox>(); });
    r.add("Outlook Express 4 Mail", [] { return std::make_unique<MarkerMailbox>(); });
    r.add("Generic Mail Type 1", [] { return std::make_unique<HeaderBlockMailbox>(false); });
    r.add("Becky Mail", [] { return std::make_unique<HeaderBlockMailbox>(true); });
    r.add("Agent Mail", [] { return std::make_unique<HeaderBlockMailbox>(false); });
    r.add("Outlook Express 5 Mail", [] { return std::make_unique<BlockChainStore>(); });
    r.add("Generic Mail Type 2", [] { return std::make_unique<FromMailbox>(); });
    r.add("AOL", [] { return std::make_unique<AolStore>(); });
    r.add("CompuServe 2000", [] { return std::make_unique<AolStore>(); });
    r.add("Poco Mail", [] { return std::make_unique<FromMailbox>(); });
    r.add("TheBat", [] { return std::make_unique<TheBatBase>(); });
    r.add("IE News", [] { return std::make_unique<CountedSpool>(); });
    r.add("VirtualAccess", [] { return std::make_unique<SeparatorSpool>(); });
    r.add("Agent News", [] { return std::make_unique<SeparatorSpool>(); });
    r.add("Netscape News", [] { return std::make_unique<CountedSpool>(); });
    r.add("Outlook Express 4 News", [] { return std::make_unique<CountedSpool>(); });
    r.add("Unix News", [] { return std::make_unique<SeparatorSpool>(); });
    r.add("Gravity", [] { return std::make_unique<HeaderSetSpool>(); });
    r.add("Outlook Express 5 News", [] { return std::make_unique<NewsBlockChainStore>(); });
    r.add("Winvn", [] { return std::make_unique<WinvnMailbox>(); });
    // Diagnostic: stages messages from the plain fixture format of the tests.
    r.addHidden(FixtureImportTypeName, FixtureImportType, ReaderFamily::ByteFile,
                [] { return std::make_unique<FixtureReader>(); });
}

}  // namespace quill
