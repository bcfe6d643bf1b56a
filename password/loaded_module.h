#pragma once

#include <QString>

namespace vz {

// A shared library opened with dlopen (RTLD_NOW | RTLD_LOCAL) and closed when
// the handle goes, unless Keep() was called. A file that cannot be opened
// leaves the handle empty: that is a missing module, which callers treat as
// "no such feature"; Error() tells why, for those that report it.
class LoadedModule {
 public:
  // Opens `file_name` from ModuleDirectory().
  static LoadedModule FromModuleDirectory(const QString& file_name);

  explicit LoadedModule(const QString& path);
  ~LoadedModule();
  LoadedModule(LoadedModule&& other) noexcept;
  LoadedModule& operator=(LoadedModule&& other) noexcept;
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  bool IsLoaded() const { return handle_ != nullptr; }
  const QString& Path() const { return path_; }
  // Why the file could not be opened (the loader's own words), or empty.
  const QString& Error() const { return error_; }

  // The exported symbol `name`, or nullptr.
  void* Symbol(const char* name) const;
  template <typename Routine>
  Routine Find(const char* name) const {
    return reinterpret_cast<Routine>(Symbol(name));
  }

  // Leaves the library loaded for the rest of the process. For modules whose
  // code may still be referenced by Qt after the call returns.
  void Keep() { keep_ = true; }

 private:
  void Close();

  QString path_;
  QString error_;
  void* handle_ = nullptr;
  bool keep_ = false;
};

}  // namespace vz
