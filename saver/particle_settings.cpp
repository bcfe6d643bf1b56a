#include "particle_settings.h"

#include <QCoreApplication>
#include <cstdio>

#include "entries.h"
#include "settings_store.h"

namespace vz {

void LoadParticleSettings(ParticleField& field) {
  SettingsStore store;
  const EntryValues v =
      ReadEntries(store, QCoreApplication::applicationName(), DefaultColumn::ParticleWindow);
  field.params = ParamsFromEntries(v);
  field.count = CountFromEntries(v);
  // Seeding and freeing are one piece of work each, as long as the count:
  // beyond this the window would stop answering for a while at each
  // repaint, with nothing to show for it (a step of this many already takes
  // minutes).
  if (field.count > kMaxParticles) {
    std::fprintf(stderr, "vivedaziv: NumParticles is %d; %d particles are used, the most there can be\n",
                 field.count, kMaxParticles);
    field.count = kMaxParticles;
  }
}

}  // namespace vz
