// Overall progress of a command over several entries, fed by the package callbacks.
#pragma once

#include <cstdint>
#include <string>

#include "package/PackageEvent.h"
#include "tools/sfxpack/ProgressBar.h"

struct PackerProgress {
    ProgressBar bar;
    uint64_t total = 0;   // sum of the weights of all entries
    uint64_t done = 0;    // weights of the finished entries
    uint64_t weight = 0;  // weight of the current entry
    std::string item;
    const char* step = nullptr;  // with -v: each entry is noted as this step

    explicit PackerProgress(bool enabled) : bar(enabled) {}
    void Begin(uint64_t entryWeight, const std::string& name) {
        weight = entryWeight;
        item = name;
        if (step != nullptr)
            bar.Note(std::string(step) + " " + name + " (" + std::to_string(entryWeight) + " bytes)");
        bar.Show(done, total, item);
    }
    void Percent(int32_t percent) {
        bar.Show(done + weight * static_cast<uint64_t>(percent) / 100, total, item);
    }
    void End() {
        done += weight;
        weight = 0;
        bar.Show(done, total, item);
    }
};

// Package callbacks with a PackerProgress as their user data.
void OnCreateEvent(PackageEvent event, void* data, uintptr_t userData);
void OnExtractEvent(PackageEvent event, void* data, uintptr_t userData);
