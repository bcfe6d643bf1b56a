#include "particle_settings.h"

#include <QCoreApplication>

#include "entries.h"
#include "settings_store.h"

namespace vz {

void LoadParticleSettings(ParticleField& field) {
  SettingsStore store;
  const EntryValues v =
      ReadEntries(store, QCoreApplication::applicationName(), DefaultColumn::ParticleWindow);
  field.params = ParamsFromEntries(v);
  field.count = CountFromEntries(v);
}

}  // namespace vz
