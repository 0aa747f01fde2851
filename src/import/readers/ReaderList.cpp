// The explicit list of built-in readers: one line per reader, in file type
// order. A type without a line here has no reader yet, and a run of it is
// refused with a message.
#include "import/ImportTypes.h"
#include "import/readers/FixtureReader.h"
#include "import/readers/MailReaders.h"

namespace quill {

void registerBuiltinReaders(ReaderRegistry& r) {
    (void)r;
    r.add("Generic Mail Type 2", [] { return std::make_unique<FromMailbox>(); });
    r.add("Poco Mail", [] { return std::make_unique<FromMailbox>(); });
    // Diagnostic: stages messages from the plain fixture format of the tests.
    r.addHidden(FixtureImportTypeName, FixtureImportType, ReaderFamily::ByteFile,
                [] { return std::make_unique<FixtureReader>(); });
}

}  // namespace quill
