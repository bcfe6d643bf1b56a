// The force pass with the kernel this process uses, and the kernels by name.
#include "force.h"

#include "force_registry.h"

namespace vz {

using force_detail::ForceKernel;

void ForcePass(Particle* particles, std::int32_t n, const SimParams& p) {
  force_detail::RunWholePass(force_detail::ProcessKernel(), particles, n, p);
}

const char* ForceKernelName() { return force_detail::ProcessKernel().name; }

const char* ChooseForceKernel(const char* request) {
  return force_detail::KernelForRequest(request).name;
}

std::vector<const char*> AvailableForceKernels() {
  std::vector<const char*> names;
  for (const ForceKernel& k : force_detail::AllForceKernels()) {
    if (k.runsHere()) names.push_back(k.name);
  }
  return names;
}

bool ForcePassWith(std::string_view kernel, Particle* particles, std::int32_t n,
                   const SimParams& p) {
  const ForceKernel* k = force_detail::FindRunnableKernel(kernel);
  if (k == nullptr) return false;
  force_detail::RunWholePass(*k, particles, n, p);
  return true;
}

}  // namespace vz
