#include "loaded_module.h"

#include <dlfcn.h>

#include <QFile>
#include <utility>

#include "module_directory.h"

namespace vz {

LoadedModule LoadedModule::FromModuleDirectory(const QString& file_name) {
  return LoadedModule(ModuleDirectory() + QLatin1Char('/') + file_name);
}

LoadedModule::LoadedModule(const QString& path)
    : path_(path),
      handle_(dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    if (reason != nullptr) error_ = QString::fromLocal8Bit(reason);
  }
}

LoadedModule::~LoadedModule() { Close(); }

LoadedModule::LoadedModule(LoadedModule&& other) noexcept
    : path_(std::move(other.path_)),
      error_(std::move(other.error_)),
      handle_(std::exchange(other.handle_, nullptr)),
      keep_(std::exchange(other.keep_, false)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
  if (this != &other) {
    Close();
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
    handle_ = std::exchange(other.handle_, nullptr);
    keep_ = std::exchange(other.keep_, false);
  }
  return *this;
}

void* LoadedModule::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void LoadedModule::Close() {
  if (handle_ != nullptr && !keep_) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace vz
