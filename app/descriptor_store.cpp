#include "app/descriptor_store.h"

#include "platform/temp_folder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

namespace globaro {

namespace {

DescriptorStore* gActiveStore = nullptr;

// A key array handed to openReadDescriptor is read up to its 0 terminator,
// but never further than this.
constexpr std::size_t kMaxExpectedKeys = 1024;

using Type = DescriptorValueType;

// ---- The procedures: each finds the active store and its token. -------------

const DescriptorValue* currentValue(PIReadDescriptor token);

template <typename T>
OSErr fetch(PIReadDescriptor token, Type type, T* out, void (*assign)(const DescriptorValue&, T*)) {
    if (out == nullptr) return kDescriptorBadToken;
    const DescriptorValue* v = currentValue(token);
    if (v == nullptr) return kDescriptorBadToken;
    if (v->type != type) return kDescriptorWrongType;
    assign(*v, out);
    return noErr;
}

PIReadDescriptor openReadThunk(PIDescriptorHandle descriptor, DescriptorKeyID* keys) {
    return gActiveStore != nullptr ? gActiveStore->openRead(descriptor, keys) : nullptr;
}

OSErr closeReadThunk(PIReadDescriptor token) {
    return gActiveStore != nullptr ? gActiveStore->closeRead(token) : kDescriptorBadToken;
}

}  // namespace

struct DescriptorStore::ReadToken {
    RecordedDescriptor descriptor;  // a copy: the handle may go while reading
    std::size_t next = 0;
    const DescriptorValue* current = nullptr;
    std::vector<DescriptorKeyID> expected;
    std::vector<bool> delivered;
};

struct DescriptorStore::WriteToken {
    RecordedDescriptor descriptor;
};

namespace {

const DescriptorValue* currentValue(PIReadDescriptor token) {
    if (gActiveStore == nullptr) return nullptr;
    DescriptorStore::ReadToken* t = gActiveStore->readToken(token);
    return t != nullptr ? t->current : nullptr;
}

Boolean getKeyThunk(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type, std::int32_t* flags) {
    if (gActiveStore == nullptr || key == nullptr) return 0;
    DescriptorStore::ReadToken* t = gActiveStore->readToken(token);
    if (t == nullptr) return 0;
    if (t->next >= t->descriptor.items.size()) {
        t->current = nullptr;
        return 0;
    }
    const RecordedItem& item = t->descriptor.items[t->next++];
    t->current = &item.value;
    *key = item.key;
    if (type != nullptr) *type = descriptorTypeCode(item.value.type);
    if (flags != nullptr) *flags = 0;
    for (std::size_t i = 0; i < t->expected.size(); ++i)
        if (t->expected[i] == item.key) t->delivered[i] = true;
    return 1;
}

OSErr getIntegerThunk(PIReadDescriptor token, std::int32_t* value) {
    return fetch<std::int32_t>(token, Type::kInteger, value,
                               [](const DescriptorValue& v, std::int32_t* out) { *out = v.integer; });
}

OSErr getFloatThunk(PIReadDescriptor token, double* value) {
    return fetch<double>(token, Type::kFloat, value, [](const DescriptorValue& v, double* out) { *out = v.number; });
}

OSErr getUnitFloatThunk(PIReadDescriptor token, std::uint32_t* unit, double* value) {
    if (unit == nullptr) return kDescriptorBadToken;
    const OSErr err =
        fetch<double>(token, Type::kUnitFloat, value, [](const DescriptorValue& v, double* out) { *out = v.number; });
    if (err == noErr) *unit = currentValue(token)->unit;
    return err;
}

OSErr getBooleanThunk(PIReadDescriptor token, Boolean* value) {
    return fetch<Boolean>(token, Type::kBoolean, value,
                          [](const DescriptorValue& v, Boolean* out) { *out = v.boolean ? 1 : 0; });
}

// A new host handle holding `bytes`.
OSErr bytesToHandle(const std::string& bytes, Handle* out) {
    const HandleProcs* procs = gActiveStore != nullptr ? gActiveStore->handleProcs() : nullptr;
    if (procs == nullptr || procs->newProc == nullptr || procs->lockProc == nullptr || procs->unlockProc == nullptr)
        return kDescriptorBadToken;
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return memFullErr;
    Handle h = procs->newProc(static_cast<std::int32_t>(bytes.size()));
    if (h == nullptr) return memFullErr;
    if (!bytes.empty()) {
        Ptr p = procs->lockProc(h, 0);
        if (p == nullptr) {
            if (procs->disposeProc != nullptr) procs->disposeProc(h);
            return memFullErr;
        }
        std::memcpy(p, bytes.data(), bytes.size());
        procs->unlockProc(h);
    }
    *out = h;
    return noErr;
}

// The bytes of a host handle.
bool handleToBytes(Handle h, std::string& bytes) {
    const HandleProcs* procs = gActiveStore != nullptr ? gActiveStore->handleProcs() : nullptr;
    if (h == nullptr || procs == nullptr || procs->getSizeProc == nullptr || procs->lockProc == nullptr ||
        procs->unlockProc == nullptr)
        return false;
    const std::int32_t size = procs->getSizeProc(h);
    if (size < 0) return false;
    bytes.clear();
    if (size == 0) return true;
    const Ptr p = procs->lockProc(h, 0);
    if (p == nullptr) return false;
    bytes.assign(p, static_cast<std::size_t>(size));
    procs->unlockProc(h);
    return true;
}

OSErr getBytesThunk(PIReadDescriptor token, Type type, Handle* value) {
    if (value == nullptr) return kDescriptorBadToken;
    const DescriptorValue* v = currentValue(token);
    if (v == nullptr) return kDescriptorBadToken;
    if (v->type != type) return kDescriptorWrongType;
    return bytesToHandle(v->bytes, value);
}

OSErr getTextThunk(PIReadDescriptor token, Handle* value) { return getBytesThunk(token, Type::kText, value); }
OSErr getAliasThunk(PIReadDescriptor token, Handle* value) { return getBytesThunk(token, Type::kAlias, value); }

OSErr getEnumeratedThunk(PIReadDescriptor token, DescriptorEnumID* value) {
    return fetch<DescriptorEnumID>(token, Type::kEnumerated, value,
                                   [](const DescriptorValue& v, DescriptorEnumID* out) { *out = v.enumValue; });
}

OSErr getClassThunk(PIReadDescriptor token, DescriptorTypeID* value) {
    return fetch<DescriptorTypeID>(token, Type::kClass, value,
                                   [](const DescriptorValue& v, DescriptorTypeID* out) { *out = v.classId; });
}

OSErr getSimpleReferenceThunk(PIReadDescriptor token, void* value) {
    return fetch<DescriptorSimpleReference>(
        token, Type::kSimpleReference, static_cast<DescriptorSimpleReference*>(value),
        [](const DescriptorValue& v, DescriptorSimpleReference* out) { *out = v.reference; });
}

OSErr getObjectThunk(PIReadDescriptor token, DescriptorTypeID* type, PIDescriptorHandle* value) {
    if (type == nullptr || value == nullptr) return kDescriptorBadToken;
    const DescriptorValue* v = currentValue(token);
    if (v == nullptr) return kDescriptorBadToken;
    if (v->type != Type::kObject) return kDescriptorWrongType;
    auto copy = std::make_unique<RecordedDescriptor>(v->object ? *v->object : RecordedDescriptor{});
    *type = v->classId;
    *value = gActiveStore->keep(std::move(copy));
    return noErr;
}

OSErr getCountThunk(PIReadDescriptor token, std::uint32_t* value) {
    return fetch<std::uint32_t>(token, Type::kCount, value,
                                [](const DescriptorValue& v, std::uint32_t* out) { *out = v.count; });
}

OSErr getStringThunk(PIReadDescriptor token, unsigned char* value) {
    if (value == nullptr) return kDescriptorBadToken;
    const DescriptorValue* v = currentValue(token);
    if (v == nullptr) return kDescriptorBadToken;
    if (v->type != Type::kText) return kDescriptorWrongType;
    const std::size_t n = std::min<std::size_t>(v->bytes.size(), 255);
    value[0] = static_cast<unsigned char>(n);
    std::memcpy(value + 1, v->bytes.data(), n);
    return n == v->bytes.size() ? static_cast<OSErr>(noErr) : kDescriptorCoerced;
}

OSErr getPinnedIntegerThunk(PIReadDescriptor token, std::int32_t min, std::int32_t max, std::int32_t* value) {
    const OSErr err = getIntegerThunk(token, value);
    if (err != noErr) return err;
    if (min > max) return kDescriptorBadToken;
    const std::int32_t pinned = std::clamp(*value, min, max);
    const bool moved = pinned != *value;
    *value = pinned;
    return moved ? kDescriptorCoerced : static_cast<OSErr>(noErr);
}

OSErr pin(const double* min, const double* max, double* value) {
    double v = *value;
    if (min != nullptr && v < *min) v = *min;
    if (max != nullptr && v > *max) v = *max;
    const bool moved = v != *value;
    *value = v;
    return moved ? kDescriptorCoerced : static_cast<OSErr>(noErr);
}

OSErr getPinnedFloatThunk(PIReadDescriptor token, const double* min, const double* max, double* value) {
    const OSErr err = getFloatThunk(token, value);
    return err != noErr ? err : pin(min, max, value);
}

OSErr getPinnedUnitFloatThunk(PIReadDescriptor token, const double* min, const double* max, std::uint32_t* unit,
                              double* value) {
    const OSErr err = getUnitFloatThunk(token, unit, value);
    return err != noErr ? err : pin(min, max, value);
}

PIWriteDescriptor openWriteThunk() { return gActiveStore != nullptr ? gActiveStore->openWrite() : nullptr; }

OSErr closeWriteThunk(PIWriteDescriptor token, PIDescriptorHandle* descriptor) {
    return gActiveStore != nullptr ? gActiveStore->closeWrite(token, descriptor) : kDescriptorBadToken;
}

OSErr put(PIWriteDescriptor token, DescriptorKeyID key, DescriptorValue value) {
    if (gActiveStore == nullptr) return kDescriptorBadToken;
    DescriptorStore::WriteToken* t = gActiveStore->writeToken(token);
    if (t == nullptr) return kDescriptorBadToken;
    t->descriptor.put(key, std::move(value));
    return noErr;
}

OSErr putIntegerThunk(PIWriteDescriptor token, DescriptorKeyID key, std::int32_t value) {
    return put(token, key, DescriptorValue::makeInteger(value));
}

OSErr putFloatThunk(PIWriteDescriptor token, DescriptorKeyID key, const double* value) {
    if (value == nullptr) return kDescriptorBadToken;
    return put(token, key, DescriptorValue::makeFloat(*value));
}

OSErr putUnitFloatThunk(PIWriteDescriptor token, DescriptorKeyID key, std::uint32_t unit, const double* value) {
    if (value == nullptr) return kDescriptorBadToken;
    DescriptorValue v;
    v.type = Type::kUnitFloat;
    v.unit = unit;
    v.number = *value;
    return put(token, key, std::move(v));
}

OSErr putBooleanThunk(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) {
    return put(token, key, DescriptorValue::makeBoolean(value != 0));
}

OSErr putBytes(PIWriteDescriptor token, DescriptorKeyID key, Type type, Handle value) {
    DescriptorValue v;
    v.type = type;
    if (!handleToBytes(value, v.bytes)) return kDescriptorBadToken;
    return put(token, key, std::move(v));
}

OSErr putTextThunk(PIWriteDescriptor token, DescriptorKeyID key, Handle value) {
    return putBytes(token, key, Type::kText, value);
}
OSErr putAliasThunk(PIWriteDescriptor token, DescriptorKeyID key, Handle value) {
    return putBytes(token, key, Type::kAlias, value);
}

OSErr putEnumeratedThunk(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type, DescriptorEnumID value) {
    return put(token, key, DescriptorValue::makeEnumerated(type, value));
}

OSErr putClassThunk(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID value) {
    DescriptorValue v;
    v.type = Type::kClass;
    v.classId = value;
    return put(token, key, std::move(v));
}

OSErr putSimpleReferenceThunk(PIWriteDescriptor token, DescriptorKeyID key, const void* value) {
    if (value == nullptr) return kDescriptorBadToken;
    DescriptorValue v;
    v.type = Type::kSimpleReference;
    std::memcpy(&v.reference, value, sizeof v.reference);
    return put(token, key, std::move(v));
}

OSErr putObjectThunk(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type, PIDescriptorHandle value) {
    const RecordedDescriptor* nested = gActiveStore != nullptr ? gActiveStore->find(value) : nullptr;
    if (nested == nullptr) return kDescriptorBadToken;
    DescriptorValue v;
    v.type = Type::kObject;
    v.classId = type;
    v.object = std::make_shared<const RecordedDescriptor>(*nested);
    return put(token, key, std::move(v));
}

OSErr putCountThunk(PIWriteDescriptor token, DescriptorKeyID key, std::uint32_t count) {
    DescriptorValue v;
    v.type = Type::kCount;
    v.count = count;
    return put(token, key, std::move(v));
}

OSErr putStringThunk(PIWriteDescriptor token, DescriptorKeyID key, const unsigned char* value) {
    if (value == nullptr) return kDescriptorBadToken;
    return put(token, key, DescriptorValue::makeText(std::string(reinterpret_cast<const char*>(value + 1), value[0])));
}

}  // namespace

// ---- Values and descriptors -------------------------------------------------------

DescriptorTypeID descriptorTypeCode(DescriptorValueType type) {
    switch (type) {
        case Type::kInteger:
            return GLOBARO_FOURCC('l', 'o', 'n', 'g');
        case Type::kFloat:
            return GLOBARO_FOURCC('d', 'o', 'u', 'b');
        case Type::kUnitFloat:
            return GLOBARO_FOURCC('U', 'n', 't', 'F');
        case Type::kBoolean:
            return GLOBARO_FOURCC('b', 'o', 'o', 'l');
        case Type::kText:
            return GLOBARO_FOURCC('T', 'E', 'X', 'T');
        case Type::kAlias:
            return GLOBARO_FOURCC('a', 'l', 'i', 's');
        case Type::kEnumerated:
            return GLOBARO_FOURCC('e', 'n', 'u', 'm');
        case Type::kClass:
            return GLOBARO_FOURCC('t', 'y', 'p', 'e');
        case Type::kSimpleReference:
            return GLOBARO_FOURCC('o', 'b', 'j', ' ');
        case Type::kObject:
            return GLOBARO_FOURCC('O', 'b', 'j', 'c');
        case Type::kCount:
            return GLOBARO_FOURCC('c', 'n', 't', ' ');
    }
    return 0;
}

DescriptorValue DescriptorValue::makeInteger(std::int32_t v) {
    DescriptorValue d;
    d.type = Type::kInteger;
    d.integer = v;
    return d;
}

DescriptorValue DescriptorValue::makeFloat(double v) {
    DescriptorValue d;
    d.type = Type::kFloat;
    d.number = v;
    return d;
}

DescriptorValue DescriptorValue::makeBoolean(bool v) {
    DescriptorValue d;
    d.type = Type::kBoolean;
    d.boolean = v;
    return d;
}

DescriptorValue DescriptorValue::makeEnumerated(DescriptorEnumTypeID type, DescriptorEnumID v) {
    DescriptorValue d;
    d.type = Type::kEnumerated;
    d.enumType = type;
    d.enumValue = v;
    return d;
}

DescriptorValue DescriptorValue::makeText(std::string v) {
    DescriptorValue d;
    d.type = Type::kText;
    d.bytes = std::move(v);
    return d;
}

void RecordedDescriptor::put(DescriptorKeyID key, DescriptorValue value) {
    for (RecordedItem& item : items) {
        if (item.key == key) {
            item.value = std::move(value);
            return;
        }
    }
    items.push_back({key, std::move(value)});
}

const DescriptorValue* RecordedDescriptor::find(DescriptorKeyID key) const {
    for (const RecordedItem& item : items)
        if (item.key == key) return &item.value;
    return nullptr;
}

// ---- The store ----------------------------------------------------------------------

DescriptorStore::DescriptorStore() {
    readProcs_.readDescriptorProcsVersion = 0;
    readProcs_.numReadDescriptorProcs = 18;
    readProcs_.openReadDescriptorProc = openReadThunk;
    readProcs_.closeReadDescriptorProc = closeReadThunk;
    readProcs_.getKeyProc = getKeyThunk;
    readProcs_.getIntegerProc = getIntegerThunk;
    readProcs_.getFloatProc = getFloatThunk;
    readProcs_.getUnitFloatProc = getUnitFloatThunk;
    readProcs_.getBooleanProc = getBooleanThunk;
    readProcs_.getTextProc = getTextThunk;
    readProcs_.getAliasProc = getAliasThunk;
    readProcs_.getEnumeratedProc = getEnumeratedThunk;
    readProcs_.getClassProc = getClassThunk;
    readProcs_.getSimpleReferenceProc = getSimpleReferenceThunk;
    readProcs_.getObjectProc = getObjectThunk;
    readProcs_.getCountProc = getCountThunk;
    readProcs_.getStringProc = getStringThunk;
    readProcs_.getPinnedIntegerProc = getPinnedIntegerThunk;
    readProcs_.getPinnedFloatProc = getPinnedFloatThunk;
    readProcs_.getPinnedUnitFloatProc = getPinnedUnitFloatThunk;

    writeProcs_.writeDescriptorProcsVersion = 0;
    writeProcs_.numWriteDescriptorProcs = 16;
    writeProcs_.openWriteDescriptorProc = openWriteThunk;
    writeProcs_.closeWriteDescriptorProc = closeWriteThunk;
    writeProcs_.putIntegerProc = putIntegerThunk;
    writeProcs_.putFloatProc = putFloatThunk;
    writeProcs_.putUnitFloatProc = putUnitFloatThunk;
    writeProcs_.putBooleanProc = putBooleanThunk;
    writeProcs_.putTextProc = putTextThunk;
    writeProcs_.putAliasProc = putAliasThunk;
    writeProcs_.putEnumeratedProc = putEnumeratedThunk;
    writeProcs_.putClassProc = putClassThunk;
    writeProcs_.putSimpleReferenceProc = putSimpleReferenceThunk;
    writeProcs_.putObjectProc = putObjectThunk;
    writeProcs_.putCountProc = putCountThunk;
    writeProcs_.putStringProc = putStringThunk;
    writeProcs_.putScopedClassProc = putClassThunk;
    writeProcs_.putScopedObjectProc = putObjectThunk;

    parameters_.descriptorParametersVersion = 0;
    parameters_.playInfo = plugInDialogDontDisplay;
    parameters_.recordInfo = plugInDialogDontDisplay;
    parameters_.descriptor = nullptr;
    parameters_.readDescriptorProcs = &readProcs_;
    parameters_.writeDescriptorProcs = &writeProcs_;

    previous_ = gActiveStore;
    gActiveStore = this;
}

DescriptorStore::~DescriptorStore() {
    if (gActiveStore == this) gActiveStore = previous_;
}

DescriptorStore* activeDescriptorStore() { return gActiveStore; }

bool releaseDescriptorHandle(PIDescriptorHandle handle) {
    return gActiveStore != nullptr && gActiveStore->release(handle);
}

PIDescriptorHandle DescriptorStore::keep(std::unique_ptr<RecordedDescriptor> descriptor) {
    const void* key = descriptor.get();
    descriptors_[key] = std::move(descriptor);
    // The handle is the store's own token; only this store looks inside it.
    return reinterpret_cast<PIDescriptorHandle>(const_cast<void*>(key));
}

PIDescriptorHandle DescriptorStore::offer(const RecordedDescriptor& descriptor, std::int16_t playInfo) {
    release(parameters_.descriptor);
    parameters_.descriptor = keep(std::make_unique<RecordedDescriptor>(descriptor));
    parameters_.playInfo = playInfo;
    return parameters_.descriptor;
}

const RecordedDescriptor* DescriptorStore::find(PIDescriptorHandle handle) const {
    auto it = descriptors_.find(static_cast<const void*>(handle));
    return it != descriptors_.end() ? it->second.get() : nullptr;
}

bool DescriptorStore::release(PIDescriptorHandle handle) {
    auto it = descriptors_.find(static_cast<const void*>(handle));
    if (it == descriptors_.end()) return false;
    descriptors_.erase(it);
    if (parameters_.descriptor == handle) parameters_.descriptor = nullptr;
    return true;
}

DescriptorStore::ReadToken* DescriptorStore::readToken(PIReadDescriptor token) {
    auto it = reads_.find(static_cast<const void*>(token));
    return it != reads_.end() ? it->second.get() : nullptr;
}

DescriptorStore::WriteToken* DescriptorStore::writeToken(PIWriteDescriptor token) {
    auto it = writes_.find(static_cast<const void*>(token));
    return it != writes_.end() ? it->second.get() : nullptr;
}

PIReadDescriptor DescriptorStore::openRead(PIDescriptorHandle handle, const DescriptorKeyID* keys) {
    const RecordedDescriptor* d = find(handle);
    if (d == nullptr) return nullptr;
    auto token = std::make_unique<ReadToken>();
    token->descriptor = *d;
    if (keys != nullptr)
        for (std::size_t i = 0; i < kMaxExpectedKeys && keys[i] != 0; ++i) token->expected.push_back(keys[i]);
    token->delivered.assign(token->expected.size(), false);
    const void* key = token.get();
    reads_[key] = std::move(token);
    return reinterpret_cast<PIReadDescriptor>(const_cast<void*>(key));
}

OSErr DescriptorStore::closeRead(PIReadDescriptor token) {
    auto it = reads_.find(static_cast<const void*>(token));
    if (it == reads_.end()) return kDescriptorBadToken;
    const bool complete =
        std::all_of(it->second->delivered.begin(), it->second->delivered.end(), [](bool b) { return b; });
    reads_.erase(it);
    return complete ? static_cast<OSErr>(noErr) : kDescriptorMissingKey;
}

PIWriteDescriptor DescriptorStore::openWrite() {
    if (failWriteOpen_) return nullptr;
    auto token = std::make_unique<WriteToken>();
    const void* key = token.get();
    writes_[key] = std::move(token);
    return reinterpret_cast<PIWriteDescriptor>(const_cast<void*>(key));
}

OSErr DescriptorStore::closeWrite(PIWriteDescriptor token, PIDescriptorHandle* handle) {
    auto it = writes_.find(static_cast<const void*>(token));
    if (it == writes_.end()) return kDescriptorBadToken;
    auto descriptor = std::make_unique<RecordedDescriptor>(std::move(it->second->descriptor));
    writes_.erase(it);
    if (handle == nullptr) return kDescriptorBadToken;
    *handle = keep(std::move(descriptor));
    return noErr;
}

// ---- Recorded actions as JSON -------------------------------------------------------------

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kActionFormat = "Globaro 2 action";
constexpr int kActionVersion = 1;
constexpr int kMaxObjectDepth = 8;
constexpr std::size_t kMaxItems = 4096;
constexpr std::size_t kMaxTextBytes = 1u << 20;

struct TypeName {
    Type type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {Type::kInteger, "integer"},       {Type::kFloat, "float"}, {Type::kUnitFloat, "unitFloat"},
    {Type::kBoolean, "boolean"},       {Type::kText, "text"},   {Type::kAlias, "alias"},
    {Type::kEnumerated, "enumerated"}, {Type::kClass, "class"}, {Type::kSimpleReference, "reference"},
    {Type::kObject, "object"},         {Type::kCount, "count"},
};

constexpr const char* kPlayInfoNames[] = {"dontDisplay", "display", "silent"};

const char* typeName(Type t) {
    for (const TypeName& n : kTypeNames)
        if (n.type == t) return n.name;
    return "?";
}

bool printable(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// A four-character code: its text when printable, else its number.
Json codeJson(std::uint32_t code) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    if (printable(s)) return s;
    return code;
}

Json bytesJson(const std::string& bytes) {
    if (printable(bytes)) return bytes;
    Json list = Json::array();
    for (char c : bytes) list.push_back(static_cast<unsigned char>(c));
    return list;
}

Json numberJson(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    return v;
}

Json itemsJson(const RecordedDescriptor& d);

Json valueJson(const RecordedItem& item) {
    const DescriptorValue& v = item.value;
    Json j = Json::object();
    j["key"] = codeJson(item.key);
    j["type"] = typeName(v.type);
    switch (v.type) {
        case Type::kInteger:
            j["value"] = v.integer;
            break;
        case Type::kFloat:
            j["value"] = numberJson(v.number);
            break;
        case Type::kUnitFloat:
            j["unit"] = codeJson(v.unit);
            j["value"] = numberJson(v.number);
            break;
        case Type::kBoolean:
            j["value"] = v.boolean;
            break;
        case Type::kText:
        case Type::kAlias:
            j["value"] = bytesJson(v.bytes);
            break;
        case Type::kEnumerated:
            j["enumType"] = codeJson(v.enumType);
            j["value"] = codeJson(v.enumValue);
            break;
        case Type::kClass:
            j["value"] = codeJson(v.classId);
            break;
        case Type::kSimpleReference: {
            const DescriptorSimpleReference& r = v.reference;
            j["class"] = codeJson(r.desiredClass);
            j["form"] = codeJson(r.keyForm);
            j["name"] = bytesJson(std::string(reinterpret_cast<const char*>(r.keyData.name + 1), r.keyData.name[0]));
            j["index"] = r.keyData.index;
            j["keyType"] = codeJson(r.keyData.type);
            j["enum"] = codeJson(r.keyData.value);
            break;
        }
        case Type::kObject:
            j["class"] = codeJson(v.classId);
            j["value"] = v.object ? itemsJson(*v.object) : Json::array();
            break;
        case Type::kCount:
            j["value"] = v.count;
            break;
    }
    return j;
}

Json itemsJson(const RecordedDescriptor& d) {
    Json list = Json::array();
    for (const RecordedItem& item : d.items) list.push_back(valueJson(item));
    return list;
}

// ---- Parsing, every value checked.

struct Parser {
    std::string error;

    bool fail(const std::string& where, const std::string& what) {
        error = where + ": " + what;
        return false;
    }

    bool code(const Json& j, const std::string& where, const char* member, std::uint32_t& out) {
        auto it = j.find(member);
        if (it == j.end()) return fail(where, std::string("\"") + member + "\" is missing");
        if (it->is_string()) {
            const std::string s = it->get<std::string>();
            if (s.size() != 4) return fail(where, std::string("\"") + member + "\" must have exactly four characters");
            out = GLOBARO_FOURCC(s[0], s[1], s[2], s[3]);
            return true;
        }
        if (it->is_number_unsigned() && it->get<std::uint64_t>() <= 0xFFFFFFFFu) {
            out = static_cast<std::uint32_t>(it->get<std::uint64_t>());
            return true;
        }
        return fail(where, std::string("\"") + member + "\" must be a four-character code or a number 0..4294967295");
    }

    bool number(const Json& j, const std::string& where, double& out) {
        auto it = j.find("value");
        if (it == j.end()) return fail(where, "\"value\" is missing");
        if (it->is_number()) {
            out = it->get<double>();
            return true;
        }
        if (it->is_string()) {
            const std::string s = it->get<std::string>();
            if (s == "NaN")
                out = std::numeric_limits<double>::quiet_NaN();
            else if (s == "Infinity")
                out = std::numeric_limits<double>::infinity();
            else if (s == "-Infinity")
                out = -std::numeric_limits<double>::infinity();
            else
                return fail(where, "\"value\" must be a number");
            return true;
        }
        return fail(where, "\"value\" must be a number");
    }

    bool bytes(const Json& j, const std::string& where, const char* member, std::string& out) {
        auto it = j.find(member);
        if (it == j.end()) return fail(where, std::string("\"") + member + "\" is missing");
        if (it->is_string()) {
            out = it->get<std::string>();
        } else if (it->is_array()) {
            out.clear();
            for (const Json& b : *it) {
                if (!b.is_number_unsigned() || b.get<std::uint64_t>() > 255)
                    return fail(where, std::string("\"") + member + "\" must hold byte values 0..255");
                out.push_back(static_cast<char>(b.get<std::uint64_t>()));
            }
        } else {
            return fail(where, std::string("\"") + member + "\" must be a string or a list of bytes");
        }
        if (out.size() > kMaxTextBytes) return fail(where, "the text is too long");
        return true;
    }

    bool integer(const Json& j, const std::string& where, const char* member, std::int64_t lo, std::int64_t hi,
                 std::int64_t& out) {
        auto it = j.find(member);
        if (it == j.end()) return fail(where, std::string("\"") + member + "\" is missing");
        if (it->is_number_unsigned()) {
            const std::uint64_t u = it->get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(hi))
                return fail(where, std::string("\"") + member + "\" is out of range");
            out = static_cast<std::int64_t>(u);
        } else if (it->is_number_integer()) {
            out = it->get<std::int64_t>();
        } else {
            return fail(where, std::string("\"") + member + "\" must be a whole number");
        }
        if (out < lo || out > hi) return fail(where, std::string("\"") + member + "\" is out of range");
        return true;
    }

    bool items(const Json& list, const std::string& where, int depth, RecordedDescriptor& out) {
        if (!list.is_array()) return fail(where, "the descriptor must be a list of items");
        if (list.size() > kMaxItems) return fail(where, "the descriptor has too many items");
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string at = where + " item " + std::to_string(i + 1);
            RecordedItem item;
            if (!value(list[i], at, depth, item)) return false;
            out.put(item.key, std::move(item.value));
        }
        return true;
    }

    bool value(const Json& j, std::string at, int depth, RecordedItem& item) {
        if (!j.is_object()) return fail(at, "an item must be an object");
        if (!code(j, at, "key", item.key)) return false;
        at += " (key \"" + printableCode(item.key) + "\")";
        auto t = j.find("type");
        if (t == j.end() || !t->is_string()) return fail(at, "\"type\" is missing");
        const std::string name = t->get<std::string>();
        const TypeName* found = nullptr;
        for (const TypeName& n : kTypeNames)
            if (name == n.name) found = &n;
        if (found == nullptr) return fail(at, "unknown type \"" + name + "\"");
        DescriptorValue& v = item.value;
        v.type = found->type;
        std::int64_t n = 0;
        switch (v.type) {
            case Type::kInteger:
                if (!integer(j, at, "value", std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max(), n))
                    return false;
                v.integer = static_cast<std::int32_t>(n);
                return true;
            case Type::kFloat:
                return number(j, at, v.number);
            case Type::kUnitFloat:
                return code(j, at, "unit", v.unit) && number(j, at, v.number);
            case Type::kBoolean: {
                auto it = j.find("value");
                if (it == j.end() || !it->is_boolean()) return fail(at, "\"value\" must be true or false");
                v.boolean = it->get<bool>();
                return true;
            }
            case Type::kText:
            case Type::kAlias:
                return bytes(j, at, "value", v.bytes);
            case Type::kEnumerated:
                return code(j, at, "enumType", v.enumType) && code(j, at, "value", v.enumValue);
            case Type::kClass:
                return code(j, at, "value", v.classId);
            case Type::kSimpleReference: {
                DescriptorSimpleReference& r = v.reference;
                std::string refName;
                if (!code(j, at, "class", r.desiredClass) || !code(j, at, "form", r.keyForm) ||
                    !bytes(j, at, "name", refName) ||
                    !integer(j, at, "index", std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max(), n) ||
                    !code(j, at, "keyType", r.keyData.type) || !code(j, at, "enum", r.keyData.value))
                    return false;
                if (refName.size() > 255) return fail(at, "\"name\" is longer than 255 bytes");
                r.keyData.name[0] = static_cast<unsigned char>(refName.size());
                std::memcpy(r.keyData.name + 1, refName.data(), refName.size());
                r.keyData.index = static_cast<std::int32_t>(n);
                return true;
            }
            case Type::kObject: {
                if (depth >= kMaxObjectDepth) return fail(at, "objects are nested too deeply");
                if (!code(j, at, "class", v.classId)) return false;
                auto it = j.find("value");
                if (it == j.end()) return fail(at, "\"value\" is missing");
                auto nested = std::make_shared<RecordedDescriptor>();
                if (!items(*it, at, depth + 1, *nested)) return false;
                v.object = std::move(nested);
                return true;
            }
            case Type::kCount:
                if (!integer(j, at, "value", 0, 0xFFFFFFFFll, n)) return false;
                v.count = static_cast<std::uint32_t>(n);
                return true;
        }
        return fail(at, "unknown type");
    }

    static std::string printableCode(std::uint32_t code) {
        const Json j = codeJson(code);
        return j.is_string() ? j.get<std::string>() : std::to_string(code);
    }
};

}  // namespace

std::string actionToJson(const RecordedAction& action) {
    Json j = Json::object();
    j["format"] = kActionFormat;
    j["version"] = kActionVersion;
    if (action.playInfo >= 0 && action.playInfo <= 2)
        j["playInfo"] = kPlayInfoNames[action.playInfo];
    else
        j["playInfo"] = action.playInfo;
    j["descriptor"] = itemsJson(action.descriptor);
    // Every string written is printable ASCII, so the dump cannot fail.
    return j.dump(2) + "\n";
}

bool actionFromJson(std::string_view text, RecordedAction& action, std::string& error) {
    const Json j = Json::parse(text.begin(), text.end(), nullptr, false);
    if (j.is_discarded()) {
        error = "not a valid JSON document";
        return false;
    }
    if (!j.is_object()) {
        error = "an action must be a JSON object";
        return false;
    }
    auto format = j.find("format");
    if (format == j.end() || !format->is_string() || format->get<std::string>() != kActionFormat) {
        error = std::string("not an action file (\"format\" must be \"") + kActionFormat + "\")";
        return false;
    }
    auto version = j.find("version");
    if (version == j.end() || !version->is_number_integer() || version->get<std::int64_t>() != kActionVersion) {
        error = "unsupported action file version (expected " + std::to_string(kActionVersion) + ")";
        return false;
    }
    RecordedAction parsed;
    auto play = j.find("playInfo");
    if (play != j.end()) {
        bool ok = false;
        for (int i = 0; i < 3; ++i) {
            if ((play->is_string() && play->get<std::string>() == kPlayInfoNames[i]) ||
                (play->is_number_integer() && play->get<std::int64_t>() == i)) {
                parsed.playInfo = static_cast<std::int16_t>(i);
                ok = true;
            }
        }
        if (!ok) {
            error = "\"playInfo\" must be \"dontDisplay\", \"display\" or \"silent\"";
            return false;
        }
    }
    auto descriptor = j.find("descriptor");
    if (descriptor == j.end()) {
        error = "\"descriptor\" is missing";
        return false;
    }
    Parser parser;
    if (!parser.items(*descriptor, "descriptor", 0, parsed.descriptor)) {
        error = parser.error;
        return false;
    }
    action = std::move(parsed);
    return true;
}

bool saveActionFile(const std::string& path, const RecordedAction& action, std::string& error) {
    // Written beside the target and renamed into place once on disk, so a
    // failed write never leaves half a file where a good one was.
    const std::string text = actionToJson(action);
    const int result = writeWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (result != kFileOk) {
        error = "cannot write \"" + path +
                "\": " + (result == kFileNotFound ? "the file could not be created" : "the file could not be written");
        return false;
    }
    return true;
}

bool loadActionFile(const std::string& path, RecordedAction& action, std::string& error) {
    const std::string name = "action file \"" + path + "\"";
    // Only plain files: a folder or a pipe has no size to go by.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        error = "cannot read " + name + ": no such file";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot read " + name + ": not a plain file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + name + ": it cannot be opened";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "cannot read " + name;
        return false;
    }
    if (static_cast<std::uint64_t>(size) > kMaxActionFileBytes) {
        error = "cannot read " + name + ": the action file is too large";
        return false;
    }
    in.seekg(0, std::ios::beg);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(text.data(), size)) {
        error = "cannot read " + name + ": it could not be read to its end";
        return false;
    }
    std::string why;
    if (!actionFromJson(text, action, why)) {
        error = "cannot read " + name + ": " + why;
        return false;
    }
    return true;
}

bool offerActionFile(DescriptorStore& store, const std::string& path, std::string& error) {
    RecordedAction action;
    if (!loadActionFile(path, action, error)) return false;
    store.offer(action.descriptor, action.playInfo);
    return true;
}

bool recordedAction(const DescriptorStore& store, std::int16_t playInfo, RecordedAction& action) {
    const RecordedDescriptor* recorded = store.current();
    if (recorded == nullptr) return false;
    action.playInfo = playInfo;
    action.descriptor = *recorded;
    return true;
}

bool saveRecordedAction(const DescriptorStore& store, const std::string& path, std::int16_t playInfo,
                        std::string& error) {
    RecordedAction action;
    if (!recordedAction(store, playInfo, action)) {
        error = "the filter recorded no settings, so " + path + " was not written";
        return false;
    }
    return saveActionFile(path, action, error);
}

}  // namespace globaro
