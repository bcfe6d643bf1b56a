#include "particle_field.h"

namespace vz {

ParticleField::~ParticleField() {
  stopped = true;
  Release();
}

void ParticleField::Release() {
  colours.reset();
  particles.reset();
  arraySize = 0;
  ++releases;
}

}  // namespace vz
