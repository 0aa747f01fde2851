// "Mail Messages": the browse of a mail database.
#include "shell/windows/BrowseWindow.h"

namespace quill::shell {
namespace {
WindowRegistrar registrar({"BrowseMail", WindowGroup::NotTools, true, 2,
                           [](Frame& f) -> QWidget* {
                               if (f.session().Mem.ForumType != TypeMail) return nullptr;
                               return new BrowseWindow(f, BrowseKind::Mail);
                           }});
}  // namespace
}  // namespace quill::shell
