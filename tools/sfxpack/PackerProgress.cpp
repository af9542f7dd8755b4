#include "tools/sfxpack/PackerProgress.h"

#include "package/PackageEvent.h"

void OnCreateEvent(PackageEvent event, void* data, uintptr_t userData) {
    PackerProgress* progress = reinterpret_cast<PackerProgress*>(userData);
    if (event == SFX_EVENT_PROGRESS) {
        progress->Percent(*static_cast<int32_t*>(data));
    } else if (event == SFX_EVENT_END) {
        progress->End();
    }
}

void OnExtractEvent(PackageEvent event, void* data, uintptr_t userData) {
    if (event == SFX_EVENT_PROGRESS)
        reinterpret_cast<PackerProgress*>(userData)->Percent(*static_cast<int32_t*>(data));
}
