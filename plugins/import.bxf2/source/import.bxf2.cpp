#include "import.bxf2.h"

#include <dlfcn.h>

#include <memory>

#include "import.bxf2.plugin.h"
#include "platform.dialogs.h"

namespace {

// ---------------------------------------------------------------------------
// The desktop's presenter
// ---------------------------------------------------------------------------

using TDesktopPresenterFunc = CPresenter* (*)();

// Shows the toolkit's forms and dialogs through the presenter of the
// program that loaded the module, when it lends one, else through `own`.
class CDesktopPresenter : public CPresenter {
 public:
  explicit CDesktopPresenter(std::shared_ptr<CPresenter> own) : _own(std::move(own)) {
    _desktop = reinterpret_cast<TDesktopPresenterFunc>(dlsym(RTLD_DEFAULT, desktop_presenter_function));
  }

  TModalResult show_modal(CMessageForm& form) override { return target().show_modal(form); }
  std::optional<std::vector<std::string>> choose_files(const COpenDialog& dialog) override {
    return target().choose_files(dialog);
  }
  bool file_error(const COpenDialog& dialog, const std::string& message) override {
    return target().file_error(dialog, message);
  }

 private:
  CPresenter& target() {
    if (_desktop)
      if (CPresenter* presenter = _desktop()) return *presenter;
    return *_own;
  }

  std::shared_ptr<CPresenter> _own;
  TDesktopPresenterFunc _desktop = nullptr;
};

// Installed when the module loads.
struct TPresenterSetup {
  TPresenterSetup() { application().set_presenter(std::make_shared<CDesktopPresenter>(application().presenter())); }
};
TPresenterSetup g_presenter_setup;

}  // namespace

IUnknown** create_object(IUnknown** obj) { return create_plugin_object<CPlugin>(obj); }
