#include "host.plugins.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>

#include <fmt/format.h>

#include "hapi.nplugins.h"
#include "host.window.h"

CPluginEntry* CPluginEntry::create(std::string path, void* module, TRef<IUnknown> instance) {
  return construct(new CPluginEntry(std::move(path), module, std::move(instance)));
}

HRESULT CPluginEntry::GetInstance(IUnknown** instance) {
  return host_call("IPluginEntry.GetInstance", [&] {
    if (!instance) return E_POINTER;
    if (!_instance) {
      *instance = nullptr;
      return E_UNEXPECTED;
    }
    return put_interface(instance, _instance.get());
  });
}

CPluginList* CPluginList::create(CMainWindow* window) { return construct(new CPluginList(window)); }

CPluginList::~CPluginList() { unload(); }

void CPluginList::load(const std::string& path, IApplication* application) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) throw EPluginLoad(fmt::format("{}: {}", path, dlerror()));
  TRef<IUnknown> object;
  const size_t handlers = _window ? _window->handler_count() : 0;
  try {
    auto create_object = reinterpret_cast<TCreateObjectFunc>(dlsym(module, CREATE_OBJECT_NAME));
    if (!create_object) throw EPluginLoad(fmt::format("{}: the module exports no {}", path, CREATE_OBJECT_NAME));
    IUnknown* raw = nullptr;
    create_object(&raw);
    object = TRef<IUnknown>::adopt(raw);
    if (!object) throw EPluginLoad(fmt::format("{}: {} gave no object", path, CREATE_OBJECT_NAME));
    if (TRef<INPlugin_init> init = object.query<INPlugin_init>()) {
      try {
        init->initialize(application);
      } catch (const std::exception& e) {
        throw EPluginLoad(fmt::format("{}: initialize failed: {}", path, e.what()));
      } catch (...) {
        throw EPluginLoad(fmt::format("{}: initialize failed", path));
      }
    }
  } catch (...) {
    if (_window) _window->drop_handlers_after(handlers);
    object.reset();
    dlclose(module);
    throw;
  }
  _entries.emplace_back(CPluginEntry::create(path, module, std::move(object)));
}

std::vector<std::string> CPluginList::load_folder(const std::string& folder, IApplication* application,
                                                  const std::string& extension) {
  namespace fs = std::filesystem;
  std::vector<std::string> failures;
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() > extension.size() && name.ends_with(extension) && it->is_regular_file(ec))
      files.push_back(it->path());
  }
  if (ec) failures.push_back(fmt::format("{}: {}", folder, ec.message()));
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    try {
      load(file.string(), application);
    } catch (const std::exception& e) {
      failures.emplace_back(e.what());
    }
  }
  return failures;
}

std::vector<std::string> CPluginList::finish() {
  std::vector<std::string> failures;
  for (auto it = _entries.rbegin(); it != _entries.rend(); ++it) {
    TRef<INPlugin_done> done = query_interface<INPlugin_done>((*it)->_instance.get());
    if (!done) continue;
    try {
      done->done();
    } catch (const std::exception& e) {
      failures.push_back(fmt::format("{}: done failed: {}", (*it)->_path, e.what()));
    } catch (...) {
      failures.push_back(fmt::format("{}: done failed", (*it)->_path));
    }
  }
  return failures;
}

void CPluginList::unload() {
  while (!_entries.empty()) {
    TRef<CPluginEntry> entry = std::move(_entries.back());
    _entries.pop_back();
    entry->_instance.reset();
    if (void* module = std::exchange(entry->_module, nullptr)) dlclose(module);
  }
}

HRESULT CPluginList::GetItem(int32_t index, IPluginEntry** entry) {
  return host_call("IPluginList.GetItem", [&] {
    if (!entry) return E_POINTER;
    *entry = nullptr;
    if (index < 0 || size_t(index) >= _entries.size()) return E_INVALIDARG;
    return put_interface(entry, _entries[size_t(index)].get());
  });
}

HRESULT CPluginList::GetCount(int32_t* count) {
  return host_call("IPluginList.GetCount", [&] {
    if (!count) return E_POINTER;
    *count = int32_t(_entries.size());
    return S_OK;
  });
}
