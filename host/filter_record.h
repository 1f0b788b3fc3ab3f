/*
 * The filter record: what a host hands to the filter module on every call of
 * PluginMain, and the callback suites reached through it.
 *
 * This is our own C definition of the fields and callbacks that Globaro 2
 * uses of the image editors' filter plug-in interface. Field names follow
 * that public interface so that a host author recognises them. A host fills
 * the record before each call; fields the module sets (tile requests, memory
 * negotiation) are read back by the host when the call returns or when the
 * module calls advanceState.
 *
 * Conventions: rectangles are top, left, bottom, right with bottom and right
 * exclusive; points are vertical then horizontal. Fixed values are 16.16.
 * Callbacks take no context pointer: a host keeps its own per-run state.
 */
#ifndef GLOBARO_HOST_FILTER_RECORD_H
#define GLOBARO_HOST_FILTER_RECORD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t OSErr;
typedef uint8_t Boolean;
typedef int32_t Fixed;            /* 16.16 fixed point */
typedef uint32_t ResType;         /* four characters, first in the high byte */
typedef uint32_t DescriptorKeyID; /* four characters, as ResType */
typedef uint32_t DescriptorTypeID;
typedef uint32_t DescriptorEnumID;
typedef uint32_t DescriptorEnumTypeID;
typedef struct HostHandle_* Handle; /* opaque, owned by the host */
typedef char* Ptr;

/* Four-character codes, first character in the high byte ('8BFM'). */
#define GLOBARO_FOURCC(a, b, c, d)                                                                     \
    (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | \
     (uint32_t)(uint8_t)(d))

/* Selectors passed as the first argument of PluginMain. */
enum {
    filterSelectorAbout = 0,
    filterSelectorParameters = 1,
    filterSelectorPrepare = 2,
    filterSelectorStart = 3,
    filterSelectorContinue = 4,
    filterSelectorFinish = 5
};

/* Result codes the module writes through PluginMain's result pointer. */
enum {
    noErr = 0,
    readErr = -19, /* the host could not read the image from its file */
    memFullErr = -108,
    userCanceledErr = -128,
    filterBadParameters = -30100,
    filterAlreadyReported = 1, /* the module has shown its own message */
    filterPyramidFailed = 999, /* the working pyramid could not be allocated */
    /* Not an error: SourceImageSuite::viewSource cannot hand out these rows
     * in place; the module reads them with readSource. Never a module result. */
    sourceNotViewable = -30110
};

/* imageMode values. */
enum {
    plugInModeBitmap = 0,
    plugInModeGrayScale = 1,
    plugInModeIndexedColor = 2,
    plugInModeRGBColor = 3,
    plugInModeCMYKColor = 4,
    plugInModeHSLColor = 5,
    plugInModeHSBColor = 6,
    plugInModeMultichannel = 7,
    plugInModeDuotone = 8,
    plugInModeLabColor = 9,
    plugInModeGray16 = 10,
    plugInModeRGB48 = 11,
    plugInModeLab48 = 12,
    plugInModeCMYK64 = 13,
    plugInModeDeepMultichannel = 14,
    plugInModeDuotone16 = 15,
    plugInModeRGB96 = 16,
    plugInModeGray32 = 17
};

/* filterCase values: which kind of layer or selection is filtered. Cases 4
 * and 5 have editable transparency. */
enum {
    filterCaseUnsupported = -1,
    filterCaseFlatImageNoSelection = 1,
    filterCaseFlatImageWithSelection = 2,
    filterCaseFloatingSelection = 3,
    filterCaseEditableTransparencyNoSelection = 4,
    filterCaseEditableTransparencyWithSelection = 5,
    filterCaseProtectedTransparencyNoSelection = 6,
    filterCaseProtectedTransparencyWithSelection = 7
};

typedef struct Point16 {
    int16_t v;
    int16_t h;
} Point16;

typedef struct Rect16 {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
} Rect16;

typedef struct VPoint {
    int32_t v;
    int32_t h;
} VPoint;

typedef struct VRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
} VRect;

/* ---- Handle suite: host-owned memory blocks that survive between calls. */

typedef Handle (*NewPIHandleProc)(int32_t size); /* null on failure */
typedef void (*DisposePIHandleProc)(Handle h);
typedef int32_t (*GetPIHandleSizeProc)(Handle h);
typedef OSErr (*SetPIHandleSizeProc)(Handle h, int32_t newSize);
typedef Ptr (*LockPIHandleProc)(Handle h, Boolean moveHigh); /* null on failure */
typedef void (*UnlockPIHandleProc)(Handle h);

typedef struct HandleProcs {
    int16_t handleProcsVersion;
    int16_t numHandleProcs; /* number of procedures below that are valid */
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
} HandleProcs;

/* ---- Tiles, cancellation, progress. */

/* Delivers the tile described by inRect/outRect/maskRect and the plane ranges
 * into inData/outData/maskData, after taking back the previous output tile.
 * A nonzero result stops the filter with that code. */
typedef OSErr (*AdvanceStateProc)(void);
/* Nonzero when the user has asked to cancel. */
typedef Boolean (*TestAbortProc)(void);
/* Reports done out of total. */
typedef void (*ProgressProc)(int32_t done, int32_t total);

/* ---- Drawing pixels into the dialog through the host. */

typedef struct PSPixelMap {
    int32_t version;    /* 1 */
    VRect bounds;       /* the pixels described */
    int32_t imageMode;  /* plugInModeRGBColor or plugInModeGrayScale */
    int32_t rowBytes;   /* bytes from one row to the next */
    int32_t colBytes;   /* bytes from one column to the next */
    int32_t planeBytes; /* bytes from one plane to the next */
    void* baseAddr;     /* first byte of the first plane */
} PSPixelMap;

typedef OSErr (*DisplayPixelsProc)(const PSPixelMap* source, const VRect* srcRect, int32_t dstRow, int32_t dstCol,
                                   void* platformContext);

/* ---- The host's colour picker. */

enum { plugIncolorServicesChooseColor = 0 };
enum { plugIncolorServicesRGBSpace = 0 };

typedef struct ColorServicesInfo {
    int32_t infoSize;    /* sizeof(ColorServicesInfo) */
    int16_t selector;    /* plugIncolorServicesChooseColor */
    int16_t sourceSpace; /* plugIncolorServicesRGBSpace */
    int16_t resultSpace; /* plugIncolorServicesRGBSpace */
    Boolean resultGamutInfoValid;
    Boolean resultInGamut;
    void* reservedSourceSpaceInfo;
    void* reservedResultSpaceInfo;
    int16_t colorComponents[4]; /* in: initial 8-bit channels; out: the chosen ones */
    void* reserved;
    const unsigned char* pickerPrompt; /* Pascal string (length byte first) or null */
} ColorServicesInfo;

typedef OSErr (*ColorServicesProc)(ColorServicesInfo* info);

/* ---- Scripting descriptors: the host records the filter's settings as
 * key/value pairs and hands them back on replay. */

typedef struct PIOpaqueReadDescriptor* PIReadDescriptor;
typedef struct PIOpaqueWriteDescriptor* PIWriteDescriptor;
typedef Handle PIDescriptorHandle;

typedef PIReadDescriptor (*OpenReadDescriptorProc)(PIDescriptorHandle descriptor, DescriptorKeyID* keyArray);
typedef OSErr (*CloseReadDescriptorProc)(PIReadDescriptor token);
typedef Boolean (*GetKeyProc)(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type, int32_t* flags);
typedef OSErr (*GetIntegerProc)(PIReadDescriptor token, int32_t* value);
typedef OSErr (*GetFloatProc)(PIReadDescriptor token, double* value);
typedef OSErr (*GetUnitFloatProc)(PIReadDescriptor token, uint32_t* unit, double* value);
typedef OSErr (*GetBooleanProc)(PIReadDescriptor token, Boolean* value);
typedef OSErr (*GetTextProc)(PIReadDescriptor token, Handle* value);
typedef OSErr (*GetAliasProc)(PIReadDescriptor token, Handle* value);
typedef OSErr (*GetEnumeratedProc)(PIReadDescriptor token, DescriptorEnumID* value);
typedef OSErr (*GetClassProc)(PIReadDescriptor token, DescriptorTypeID* value);
typedef OSErr (*GetSimpleReferenceProc)(PIReadDescriptor token, void* value);
typedef OSErr (*GetObjectProc)(PIReadDescriptor token, DescriptorTypeID* type, PIDescriptorHandle* value);
typedef OSErr (*GetCountProc)(PIReadDescriptor token, uint32_t* value);
typedef OSErr (*GetStringProc)(PIReadDescriptor token, unsigned char* value);
typedef OSErr (*GetPinnedIntegerProc)(PIReadDescriptor token, int32_t min, int32_t max, int32_t* value);
typedef OSErr (*GetPinnedFloatProc)(PIReadDescriptor token, const double* min, const double* max, double* value);
typedef OSErr (*GetPinnedUnitFloatProc)(PIReadDescriptor token, const double* min, const double* max, uint32_t* unit,
                                        double* value);

/* The read suite: 18 procedures. */
typedef struct ReadDescriptorProcs {
    int16_t readDescriptorProcsVersion;
    int16_t numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
} ReadDescriptorProcs;

typedef PIWriteDescriptor (*OpenWriteDescriptorProc)(void);
typedef OSErr (*CloseWriteDescriptorProc)(PIWriteDescriptor token, PIDescriptorHandle* descriptor);
typedef OSErr (*PutIntegerProc)(PIWriteDescriptor token, DescriptorKeyID key, int32_t value);
typedef OSErr (*PutFloatProc)(PIWriteDescriptor token, DescriptorKeyID key, const double* value);
typedef OSErr (*PutUnitFloatProc)(PIWriteDescriptor token, DescriptorKeyID key, uint32_t unit, const double* value);
typedef OSErr (*PutBooleanProc)(PIWriteDescriptor token, DescriptorKeyID key, Boolean value);
typedef OSErr (*PutTextProc)(PIWriteDescriptor token, DescriptorKeyID key, Handle value);
typedef OSErr (*PutAliasProc)(PIWriteDescriptor token, DescriptorKeyID key, Handle value);
typedef OSErr (*PutEnumeratedProc)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                                   DescriptorEnumID value);
typedef OSErr (*PutClassProc)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID value);
typedef OSErr (*PutSimpleReferenceProc)(PIWriteDescriptor token, DescriptorKeyID key, const void* value);
typedef OSErr (*PutObjectProc)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                               PIDescriptorHandle value);
typedef OSErr (*PutCountProc)(PIWriteDescriptor token, DescriptorKeyID key, uint32_t count);
typedef OSErr (*PutStringProc)(PIWriteDescriptor token, DescriptorKeyID key, const unsigned char* value);
typedef OSErr (*PutScopedClassProc)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID value);
typedef OSErr (*PutScopedObjectProc)(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                                     PIDescriptorHandle value);

/* The write suite: 16 procedures. */
typedef struct WriteDescriptorProcs {
    int16_t writeDescriptorProcsVersion;
    int16_t numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
} WriteDescriptorProcs;

/* playInfo values. */
enum { plugInDialogDontDisplay = 0, plugInDialogDisplay = 1, plugInDialogSilent = 2 };

typedef struct PIDescriptorParameters {
    int16_t descriptorParametersVersion; /* 0 */
    int16_t playInfo;                    /* plugInDialog... */
    int16_t recordInfo;
    PIDescriptorHandle descriptor; /* the recorded settings, or null */
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
} PIDescriptorParameters;

/* ---- Large documents: 32-bit forms of the 16-bit rectangles. When present
 * and PluginUsing32BitCoordinates is set by the module, the host reads and
 * writes these instead of the 16-bit fields. */
typedef struct BigDocumentStruct {
    int32_t PluginUsing32BitCoordinates;
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
} BigDocumentStruct;

/* ---- Basic suite (suite acquisition); the module only keeps the pointer. */
typedef struct SPBasicSuite {
    int32_t (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    int32_t (*ReleaseSuite)(const char* name, int32_t version);
} SPBasicSuite;

/* Host window that parents the module's dialogs. */
typedef struct PlatformData {
    intptr_t hwnd;
} PlatformData;

/* ---- Standalone-host extension: a source image apart from the filtered one.
 * An editor filters a layer in place: the input is read from the very image
 * the output is written to, so input and output have one size. The standalone
 * host can also render into a canvas of another size (a 6:1 cube strip from a
 * 2:1 panorama, say). It then keeps the source apart, never resized, and hands
 * it to the module here at the source's own full resolution; the canvas is the
 * filtered image. Editors leave `sourceImage` null. */
typedef struct SourceImageSuite {
    int32_t version; /* 2; members after readSource only from version 2 on */
    VPoint size;     /* rows (v) and columns (h) of the source */
    int16_t planes;  /* planes per pixel: the filtered image's colour planes, plus
                        one when the source has transparency */
    int16_t depth;   /* bits per sample, as the filtered image's `depth` */
    /* Copies rows rect.top..rect.bottom-1 and columns rect.left..rect.right-1
     * (inside the source) of planes loPlane..hiPlane into `buffer`, pixel after
     * pixel, rows `rowBytes` apart. noErr, or an error that stops the filter. */
    OSErr (*readSource)(const VRect* rect, int16_t loPlane, int16_t hiPlane, void* buffer, int32_t rowBytes);
    /* Version 2 (a module checks `version >= 2` and a non-null pointer).
     * Hands out rows rect.top..rect.bottom-1 and columns rect.left..rect.right-1
     * (inside the source) of all planes in place, without a copy: `*data`
     * points at the rectangle's top left pixel, pixels after one another
     * (`planes` samples of `depth` bits each), rows `*rowBytes` apart. The
     * module only reads them. They stay there until the module's next call of
     * readSource or viewSource, or until the selector call it was made in
     * returns, whichever comes first; rows handed out this way count as read,
     * as with readSource (a host that lets read rows go does so only then).
     * noErr; sourceNotViewable when the host does not hold these rows that
     * way (nothing happened: the module reads them with readSource); any other
     * result is an error that stops the filter, as readSource's (readErr: the
     * rows could not be read from the file). `*data` is null unless noErr.
     * A null `rect` hands nothing out: it only ends the last view (noErr),
     * for a module that is done with the rows before its call returns. */
    OSErr (*viewSource)(const VRect* rect, const void** data, int32_t* rowBytes);
} SourceImageSuite;

/* ---- The record itself. */
typedef struct FilterRecord {
    int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters; /* the settings handle; the host keeps it between runs */

    Point16 imageSize; /* whole image, 16-bit form */
    int16_t planes;    /* planes in the image (colour planes + transparency) */
    Rect16 filterRect; /* the area to filter */

    int32_t maxSpace;    /* memory the host may give; the module may lower it in prepare */
    int32_t bufferSpace; /* memory the module wants kept for its buffers */

    /* Tile request, set by the module before advanceState. */
    Rect16 inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect16 outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;

    /* Tile delivery, set by the host in advanceState. */
    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;

    Boolean isFloating; /* a floating selection is filtered */
    Boolean haveMask;   /* a selection mask is available */
    Boolean autoMask;   /* the host applies the selection itself */
    Rect16 maskRect;
    void* maskData; /* one byte per pixel, 255 = fully selected */
    int32_t maskRowBytes;

    Point16 floatCoord; /* origin of a floating selection; tiles are offset by it */
    ResType hostSig;    /* the host's signature, e.g. '8BIM', 'AffP', 'PSP9' */
    PlatformData* platformData;
    int16_t imageMode;  /* plugInMode... */
    int16_t depth;      /* bits per sample: 8, 16 or 32 */
    int16_t filterCase; /* filterCase... */

    /* Layer planes: colour planes, then transparency and mask planes. */
    int16_t inLayerPlanes;
    int16_t inTransparencyMask;
    int16_t inLayerMasks;
    int16_t inInvertedLayerMasks;
    int16_t inNonLayerPlanes;
    int16_t outLayerPlanes;
    int16_t outTransparencyMask;
    int16_t outLayerMasks;
    int16_t outInvertedLayerMasks;
    int16_t outNonLayerPlanes;

    Fixed inputRate; /* subsampling of the delivered input, 16.16 */
    Fixed maskRate;
    int16_t inputPadding; /* -1 replicates the edge pixels */
    int16_t outputPadding;
    int16_t maskPadding;
    int16_t inPreDummyPlanes;
    int16_t inPostDummyPlanes;
    int16_t outPreDummyPlanes;
    int16_t outPostDummyPlanes;
    Boolean samplingSupport; /* the host can deliver subsampled input */

    HandleProcs* handleProcs;
    AdvanceStateProc advanceState;
    DisplayPixelsProc displayPixels;
    ColorServicesProc colorServices;
    PIDescriptorParameters* descriptorParameters;
    SPBasicSuite* sSPBasic;
    BigDocumentStruct* bigDocumentData;

    /* Standalone host only: the source when it is not the filtered image. */
    SourceImageSuite* sourceImage;

    /* Standalone host only: how many frames of the same sequence (a batch of
     * files, the module kept loaded) the host filters after this one. While
     * frames follow, the module keeps what the next frame of the same
     * settings and size may reuse; a run with 0 (the last frame, or any
     * editor's run: editors leave it 0) keeps nothing afterwards. */
    int32_t framesToFollow;
} FilterRecord;

/* What selector 0 (about) receives in place of the filter record. */
typedef struct AboutRecord {
    void* platformData;
    SPBasicSuite* sSPBasic;
} AboutRecord;

/* The one export of a filter module. For selector 0 the second argument
 * points at an AboutRecord instead of a FilterRecord. `data` points at the host's
 * pointer-sized field where the module keeps its data handle between calls;
 * the result code is written through `result`. */
typedef void (*PluginMainProc)(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result);

#ifdef __cplusplus
}
#endif

#endif
