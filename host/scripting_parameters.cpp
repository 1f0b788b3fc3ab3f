#include "host/scripting_parameters.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <vector>

#include "host/descriptor_keys.h"
#include "host/host_services.h"

namespace globaro {

namespace {

// The fewest procedures of each suite the filter calls.
constexpr std::int16_t kReadProcsNeeded = 18;
constexpr std::int16_t kWriteProcsNeeded = 16;

// A host that keeps offering keys is cut off after this many.
constexpr int kMaxKeysRead = 4096;

bool allPresent(const ReadDescriptorProcs& p) {
    return p.openReadDescriptorProc && p.closeReadDescriptorProc && p.getKeyProc && p.getIntegerProc &&
           p.getFloatProc && p.getUnitFloatProc && p.getBooleanProc && p.getTextProc && p.getAliasProc &&
           p.getEnumeratedProc && p.getClassProc && p.getSimpleReferenceProc && p.getObjectProc && p.getCountProc &&
           p.getStringProc && p.getPinnedIntegerProc && p.getPinnedFloatProc && p.getPinnedUnitFloatProc;
}

bool allPresent(const WriteDescriptorProcs& p) {
    return p.openWriteDescriptorProc && p.closeWriteDescriptorProc && p.putIntegerProc && p.putFloatProc &&
           p.putUnitFloatProc && p.putBooleanProc && p.putTextProc && p.putAliasProc && p.putEnumeratedProc &&
           p.putClassProc && p.putSimpleReferenceProc && p.putObjectProc && p.putCountProc && p.putStringProc &&
           p.putScopedClassProc && p.putScopedObjectProc;
}

// Hands a descriptor back to the host's memory manager.
void disposeDescriptor(FilterRecord* record, PIDescriptorHandle descriptor) {
    if (descriptor == nullptr) return;
    const HandleProcs* procs = record->handleProcs;
    if (procs != nullptr && procs->numHandleProcs >= 2 && procs->disposeProc != nullptr) procs->disposeProc(descriptor);
}

// The read key list as the host's open call takes it: a private, writable
// copy, terminated by 0.
struct ReadKeyList {
    std::vector<DescriptorKeyID> keys;
    ReadKeyList() {
        std::span<const DescriptorKeyID> list = descriptorReadKeys();
        keys.assign(list.begin(), list.end());
        keys.push_back(0);
    }
};

// Brings the scripted fields a replay takes into their ranges (a value that
// is not a number takes the field's default). The enumerated fields keep what
// their tables gave, 0 for an unknown key.
void keepInRange(SettingsRecord& settings) {
    for (const DescriptorKey& k : descriptorKeys())
        if (k.readKind != DescriptorValueKind::kEnumerated && k.readKind != DescriptorValueKind::kIgnored)
            clampField(*k.field, settings);
}

std::uint16_t& channelOf(Rgb16& c, int channel) { return channel == 0 ? c.red : channel == 1 ? c.green : c.blue; }

float toFloat(double v) {
    if (std::isnan(v)) return static_cast<float>(v);
    return static_cast<float>(std::clamp(v, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

// Stores the value of the key the host has just announced. A value the host
// cannot give as the expected type leaves the field as it is.
void readValue(const ReadDescriptorProcs& procs, PIReadDescriptor token, const DescriptorKey& k,
               DescriptorTypeID announcedType, SettingsRecord& settings) {
    switch (k.readKind) {
        case DescriptorValueKind::kInteger: {
            std::int32_t v = 0;
            if (procs.getIntegerProc(token, &v) == noErr) k.field->place.integerIn(settings) = v;
            break;
        }
        case DescriptorValueKind::kColorChannel: {
            std::int32_t v = 0;
            if (procs.getIntegerProc(token, &v) == noErr)
                channelOf(k.field->place.colorIn(settings), k.channel) =
                    static_cast<std::uint16_t>(std::clamp(v, 0, 255) * 256);
            break;
        }
        case DescriptorValueKind::kBoolean: {
            Boolean v = 0;
            if (procs.getBooleanProc(token, &v) == noErr) k.field->place.integerIn(settings) = v != 0 ? 1 : 0;
            break;
        }
        case DescriptorValueKind::kBooleanOrInteger: {
            if (announcedType == kTypeInteger) {
                std::int32_t v = 0;
                if (procs.getIntegerProc(token, &v) == noErr) k.field->place.integerIn(settings) = v != 0 ? 1 : 0;
            } else {
                Boolean v = 0;
                if (procs.getBooleanProc(token, &v) == noErr) k.field->place.integerIn(settings) = v != 0 ? 1 : 0;
            }
            break;
        }
        case DescriptorValueKind::kFloat: {
            double v = 0.0;
            if (procs.getFloatProc(token, &v) == noErr) k.field->place.floatIn(settings) = toFloat(v);
            break;
        }
        case DescriptorValueKind::kEnumerated: {
            DescriptorEnumID v = 0;
            if (procs.getEnumeratedProc(token, &v) == noErr) k.field->place.integerIn(settings) = k.enumTable->idFor(v);
            break;
        }
        case DescriptorValueKind::kIgnored:
            break;
    }
}

void writeValue(const WriteDescriptorProcs& procs, PIWriteDescriptor token, const DescriptorKey& k,
                const SettingsRecord& settings) {
    switch (k.writeKind) {
        case DescriptorValueKind::kInteger:
            procs.putIntegerProc(token, k.key, k.field->place.integerIn(settings));
            break;
        case DescriptorValueKind::kColorChannel: {
            Rgb16 c = k.field->place.colorIn(settings);
            procs.putIntegerProc(token, k.key, channelOf(c, k.channel) >> 8);
            break;
        }
        case DescriptorValueKind::kBoolean:
        case DescriptorValueKind::kBooleanOrInteger:
            procs.putBooleanProc(token, k.key, static_cast<Boolean>(k.field->place.integerIn(settings) & 0xFF));
            break;
        case DescriptorValueKind::kFloat: {
            const double v = k.field->place.floatIn(settings);
            procs.putFloatProc(token, k.key, &v);
            break;
        }
        case DescriptorValueKind::kEnumerated:
            procs.putEnumeratedProc(token, k.key, k.enumTable->type(),
                                    k.enumTable->keyFor(k.field->place.integerIn(settings)));
            break;
        case DescriptorValueKind::kIgnored:
            break;
    }
}

void setDialogFromPlayInfo(const FilterRecord* record, FilterData& data) {
    data.dialogRequested = record->descriptorParameters->playInfo == plugInDialogDisplay ? 1 : 0;
}

}  // namespace

bool descriptorsSupported(const FilterRecord* record) {
    if (record == nullptr) return false;
    const PIDescriptorParameters* p = record->descriptorParameters;
    if (p == nullptr || p->descriptorParametersVersion != 0) return false;
    if (p->readDescriptorProcs == nullptr || p->writeDescriptorProcs == nullptr) return false;
    return p->readDescriptorProcs->numReadDescriptorProcs >= kReadProcsNeeded &&
           p->writeDescriptorProcs->numWriteDescriptorProcs >= kWriteProcsNeeded &&
           allPresent(*p->readDescriptorProcs) && allPresent(*p->writeDescriptorProcs);
}

bool descriptorReadingRefused(const FilterRecord* record) {
    if (record == nullptr) return true;
    HostServices host(const_cast<FilterRecord*>(record), nullptr);
    return host.hostIsPsp();
}

bool hasDescriptor(FilterRecord* record) {
    if (descriptorReadingRefused(record) || !descriptorsSupported(record)) return false;
    PIDescriptorParameters* p = record->descriptorParameters;
    ReadKeyList list;
    PIReadDescriptor token = p->readDescriptorProcs->openReadDescriptorProc(p->descriptor, list.keys.data());
    if (token == nullptr) return false;
    // Only a look: the descriptor stays with the host for the real read.
    p->readDescriptorProcs->closeReadDescriptorProc(token);
    return true;
}

DescriptorReadOutcome readDescriptor(FilterRecord* record, SettingsRecord& settings, FilterData& data) {
    if (descriptorReadingRefused(record)) return DescriptorReadOutcome::kRefusedHost;
    if (!descriptorsSupported(record)) return DescriptorReadOutcome::kNotSupported;
    PIDescriptorParameters* p = record->descriptorParameters;
    const ReadDescriptorProcs& procs = *p->readDescriptorProcs;

    ReadKeyList list;
    PIReadDescriptor token = procs.openReadDescriptorProc(p->descriptor, list.keys.data());
    if (token == nullptr) {
        syncAnglesFromIntegers(settings);
        setDialogFromPlayInfo(record, data);
        return DescriptorReadOutcome::kNoDescriptor;
    }

    resetToDefaults(settings);
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    std::int32_t flags = 0;
    for (int n = 0; n < kMaxKeysRead && procs.getKeyProc(token, &key, &type, &flags); ++n) {
        if (const DescriptorKey* k = findDescriptorKey(key)) readValue(procs, token, *k, type, settings);
    }
    // The host reports keys it expected but did not find; missing keys keep
    // their defaults, so that is not an error here.
    procs.closeReadDescriptorProc(token);
    disposeDescriptor(record, p->descriptor);
    p->descriptor = nullptr;

    syncAnglesFromIntegers(settings);
    keepInRange(settings);
    setDialogFromPlayInfo(record, data);
    return DescriptorReadOutcome::kRead;
}

bool writeDescriptor(FilterRecord* record, SettingsRecord& settings) {
    if (!descriptorsSupported(record)) return false;
    PIDescriptorParameters* p = record->descriptorParameters;
    const WriteDescriptorProcs& procs = *p->writeDescriptorProcs;

    PIWriteDescriptor token = procs.openWriteDescriptorProc();
    if (token == nullptr) return false;
    settings.version = kSettingsVersion;
    for (const DescriptorKey& k : descriptorKeys()) writeValue(procs, token, k, settings);

    PIDescriptorHandle written = nullptr;
    if (procs.closeWriteDescriptorProc(token, &written) != noErr) {
        // Nothing usable was recorded: the host keeps what it had.
        disposeDescriptor(record, written);
        return false;
    }
    disposeDescriptor(record, p->descriptor);
    p->descriptor = written;
    p->recordInfo = plugInDialogDontDisplay;  // 0: the dialog is optional
    return written != nullptr;
}

}  // namespace globaro
