#pragma once
// Recording and replaying the filter's settings through the host's scripting
// descriptors. The finish call writes the settings as a descriptor; the start
// call reads a recorded descriptor back (and the host's play information
// decides whether the dialog is shown).

#include <cstdint>

#include "host/filter_record.h"
#include "settings/filter_data.h"
#include "settings/settings_record.h"

namespace globaro {

// The host offers descriptors: descriptor parameters of version 0 with a read
// suite of at least 18 and a write suite of at least 16 procedures, all present.
bool descriptorsSupported(const FilterRecord* record);

// Hosts whose descriptor support cannot be trusted ('PSP8', 'PSP9') are never
// read from.
bool descriptorReadingRefused(const FilterRecord* record);

// Whether the host offers a recorded descriptor (used before the cached
// settings are loaded): false for refused hosts and without descriptor
// support; otherwise whether a read descriptor opens on the 45 keys. The
// descriptor is left with the host.
bool hasDescriptor(FilterRecord* record);

enum class DescriptorReadOutcome : std::uint8_t {
    kRefusedHost,   // 'PSP8' / 'PSP9': nothing read, nothing changed
    kNotSupported,  // no descriptor support: nothing read, nothing changed
    kNoDescriptor,  // supported, nothing recorded: angles synced, dialog flag from play info
    kRead,          // the settings were reset and filled from the descriptor
};

// The start call's read: fills `settings` from the recorded descriptor (after
// resetToDefaults), disposes of the host's descriptor, applies
// syncAnglesFromIntegers and sets `data.dialogRequested` from the play
// information (1 only for "display the dialog"). Values outside a field's
// documented range are brought into it; an unknown enumeration key stores 0.
DescriptorReadOutcome readDescriptor(FilterRecord* record, SettingsRecord& settings, FilterData& data);

// The finish call's write: sets `version` to 48, records every scripted
// setting in order, replaces the host's descriptor with the new one and sets
// the record information to 0 (dialog optional). Returns false when nothing
// was recorded (no descriptor support, or the write descriptor did not open).
bool writeDescriptor(FilterRecord* record, SettingsRecord& settings);

}  // namespace globaro
