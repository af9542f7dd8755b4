// What a package operation reports to its callback (ExtractAll, CreatePackage,
// WritePackage), recorded in order for a test to read back; and, at every progress
// event, whether a watched file has grown past a limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"
#include "package/PackageEvent.h"
#include "support/TestFiles.h"

class EventRecorder {
public:
    struct Event {
        int32_t event;
        const void* data;     // as the callback got it
        std::u16string name;  // BEGIN and END: the entry's name
        int32_t percent;      // PROGRESS
    };

    std::vector<Event> events;
    WideString watched;  // a file whose size is checked at every progress event
    uint64_t limit = 0;
    bool overLimit = false;

    // The callback, with the recorder as its user data (UserData).
    static void Callback(PackageEvent event, void* data, uintptr_t userData) {
        EventRecorder* self = reinterpret_cast<EventRecorder*>(userData);
        Event e{event, data, {}, -1};
        if (event == SFX_EVENT_PROGRESS) {
            e.percent = *static_cast<int32_t*>(data);
            if (!self->watched.IsEmpty() && PathExists(self->watched) &&
                FileSize(self->watched) > self->limit)
                self->overLimit = true;
        } else {
            e.name = static_cast<WideString*>(data)->c_str();
        }
        self->events.push_back(e);
    }
    uintptr_t UserData() { return reinterpret_cast<uintptr_t>(this); }
    std::vector<int32_t> Percentages() const {
        std::vector<int32_t> out;
        for (const Event& e : events)
            if (e.event == SFX_EVENT_PROGRESS) out.push_back(e.percent);
        return out;
    }
};
