#pragma once
// The standalone host's scripting descriptors: an in-memory store that
// answers the module's read and write descriptor suites, the descriptor
// parameters handed to a run, and recorded actions saved as JSON files so
// that a run can be recorded (--record FILE) and replayed (--action FILE).
//
// The descriptor callbacks carry no context pointer, so one store is active
// per process: the most recently constructed one that is still alive.
// Descriptor handles are the store's own: they stay valid until they are
// released (releaseDescriptorHandle) or the store goes away.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/filter_record.h"

namespace globaro {

// Results of the descriptor procedures besides noErr.
inline constexpr OSErr kDescriptorCoerced = 2;         // a pinned value was brought into range
inline constexpr OSErr kDescriptorWrongType = -1703;   // the value is not of the type asked for
inline constexpr OSErr kDescriptorMissingKey = -1715;  // an expected key was not in the descriptor
inline constexpr OSErr kDescriptorBadToken = -1701;    // unknown token, handle or null argument

// Value types, with the codes the read suite's getKey reports.
enum class DescriptorValueType : std::uint8_t {
    kInteger,          // 'long'
    kFloat,            // 'doub'
    kUnitFloat,        // 'UntF'
    kBoolean,          // 'bool'
    kText,             // 'TEXT' (text handles and Pascal strings)
    kAlias,            // 'alis'
    kEnumerated,       // 'enum'
    kClass,            // 'type' (classes and scoped classes)
    kSimpleReference,  // 'obj '
    kObject,           // 'Objc' (objects and scoped objects)
    kCount,            // 'cnt '
};
DescriptorTypeID descriptorTypeCode(DescriptorValueType type);

// The simple reference the interface passes through an untyped pointer.
struct DescriptorSimpleReference {
    DescriptorTypeID desiredClass;
    DescriptorKeyID keyForm;
    struct KeyData {
        unsigned char name[256];  // Pascal string
        std::int32_t index;
        DescriptorTypeID type;
        DescriptorEnumID value;
    } keyData;
};

struct RecordedDescriptor;

struct DescriptorValue {
    DescriptorValueType type = DescriptorValueType::kInteger;
    std::int32_t integer = 0;                          // kInteger
    double number = 0.0;                               // kFloat, kUnitFloat
    std::uint32_t unit = 0;                            // kUnitFloat
    bool boolean = false;                              // kBoolean
    std::string bytes;                                 // kText, kAlias
    DescriptorEnumTypeID enumType = 0;                 // kEnumerated
    DescriptorEnumID enumValue = 0;                    // kEnumerated
    DescriptorTypeID classId = 0;                      // kClass; the class of a kObject
    std::uint32_t count = 0;                           // kCount
    DescriptorSimpleReference reference{};             // kSimpleReference
    std::shared_ptr<const RecordedDescriptor> object;  // kObject

    static DescriptorValue makeInteger(std::int32_t v);
    static DescriptorValue makeFloat(double v);
    static DescriptorValue makeBoolean(bool v);
    static DescriptorValue makeEnumerated(DescriptorEnumTypeID type, DescriptorEnumID v);
    static DescriptorValue makeText(std::string v);
};

struct RecordedItem {
    DescriptorKeyID key = 0;
    DescriptorValue value;
};

// A descriptor: keys with values, in the order they were put. Putting a key
// that is already present replaces its value in place.
struct RecordedDescriptor {
    std::vector<RecordedItem> items;

    void put(DescriptorKeyID key, DescriptorValue value);
    const DescriptorValue* find(DescriptorKeyID key) const;
};

class DescriptorStore {
public:
    DescriptorStore();
    ~DescriptorStore();
    DescriptorStore(const DescriptorStore&) = delete;
    DescriptorStore& operator=(const DescriptorStore&) = delete;

    // The descriptor parameters of a run (version 0, both suites complete).
    // Hand it to the host as HostOptions::descriptorParameters.
    PIDescriptorParameters& parameters() { return parameters_; }
    ReadDescriptorProcs& readProcs() { return readProcs_; }
    WriteDescriptorProcs& writeProcs() { return writeProcs_; }

    // Text and alias values are handed out as host handles: the handle suite
    // that allocates them (getText, getAlias) and reads them (putText, putAlias).
    void setHandleProcs(const HandleProcs* procs) { handleProcs_ = procs; }

    // Makes `descriptor` the one offered to the next run, with the given
    // play information; returns its handle.
    PIDescriptorHandle offer(const RecordedDescriptor& descriptor, std::int16_t playInfo);
    // The descriptor the parameters hold now (what the module recorded), or null.
    const RecordedDescriptor* current() const { return find(parameters_.descriptor); }
    // The descriptor of a handle of this store, or null.
    const RecordedDescriptor* find(PIDescriptorHandle handle) const;
    // Frees a handle of this store; false when it is not one.
    bool release(PIDescriptorHandle handle);

    // Bookkeeping for leak checks.
    std::size_t liveDescriptors() const { return descriptors_.size(); }
    std::size_t openReadTokens() const { return reads_.size(); }
    std::size_t openWriteTokens() const { return writes_.size(); }

    // Makes the next openWriteDescriptor calls fail (a host out of memory).
    void setFailWriteOpen(bool fail) { failWriteOpen_ = fail; }

    struct ReadToken;
    struct WriteToken;
    // Used by the procedures; public only for them.
    ReadToken* readToken(PIReadDescriptor token);
    WriteToken* writeToken(PIWriteDescriptor token);
    PIReadDescriptor openRead(PIDescriptorHandle handle, const DescriptorKeyID* keys);
    OSErr closeRead(PIReadDescriptor token);
    PIWriteDescriptor openWrite();
    OSErr closeWrite(PIWriteDescriptor token, PIDescriptorHandle* handle);
    PIDescriptorHandle keep(std::unique_ptr<RecordedDescriptor> descriptor);
    const HandleProcs* handleProcs() const { return handleProcs_; }

private:
    PIDescriptorParameters parameters_{};
    ReadDescriptorProcs readProcs_{};
    WriteDescriptorProcs writeProcs_{};
    const HandleProcs* handleProcs_ = nullptr;
    std::map<const void*, std::unique_ptr<RecordedDescriptor>> descriptors_;
    std::map<const void*, std::unique_ptr<ReadToken>> reads_;
    std::map<const void*, std::unique_ptr<WriteToken>> writes_;
    bool failWriteOpen_ = false;
    DescriptorStore* previous_ = nullptr;
};

// The store whose procedures are answering now, or null.
DescriptorStore* activeDescriptorStore();
// Frees a descriptor handle of the active store (for a host's handle suite,
// whose dispose procedure receives the descriptors the module discards).
// False when the handle is not one of the store's.
bool releaseDescriptorHandle(PIDescriptorHandle handle);

// ---- Recorded actions as JSON files -----------------------------------------------

struct RecordedAction {
    std::int16_t playInfo = plugInDialogDontDisplay;
    RecordedDescriptor descriptor;
};

// The JSON text of an action (stable key order, one item per descriptor key).
std::string actionToJson(const RecordedAction& action);
// Parses an action; on failure returns false and says why in `error`.
bool actionFromJson(std::string_view text, RecordedAction& action, std::string& error);

bool saveActionFile(const std::string& path, const RecordedAction& action, std::string& error);
bool loadActionFile(const std::string& path, RecordedAction& action, std::string& error);

// For the command line: offers the action of a file to the next run
// (--action FILE), and saves what the module recorded in the last run
// (--record FILE; an error when nothing was recorded).
bool offerActionFile(DescriptorStore& store, const std::string& path, std::string& error);
bool saveRecordedAction(const DescriptorStore& store, const std::string& path, std::int16_t playInfo,
                        std::string& error);
// What the module recorded in the last run, as an action; false when it
// recorded nothing.
bool recordedAction(const DescriptorStore& store, std::int16_t playInfo, RecordedAction& action);

// Files larger than this are refused unread.
inline constexpr std::size_t kMaxActionFileBytes = 16u << 20;

}  // namespace globaro
