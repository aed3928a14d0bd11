#include "tests/support/temp_folder.h"

#include <cstdlib>

namespace ztx::testing {
namespace {

void Set(const std::string& name, const std::string* value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) setenv(name.c_str(), value->c_str(), 1);
  else unsetenv(name.c_str());
#endif
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name);
  had_old_ = old != nullptr;
  if (old) old_ = old;
  Set(name_, &value);
}

ScopedEnv::~ScopedEnv() { Set(name_, had_old_ ? &old_ : nullptr); }

}  // namespace ztx::testing
