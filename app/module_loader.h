#pragma once
// Finding, inspecting and loading a filter module as an editor does: the
// property list is read from the module file first (kind, name, entry point,
// the image modes it accepts), then the module is loaded and its entry point
// resolved.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/filter_record.h"

namespace globaro {

struct PluginProperty {
    ResType vendor = 0;
    ResType key = 0;
    std::int32_t id = 0;
    std::vector<std::uint8_t> data;
};

struct PropertyList {
    std::vector<PluginProperty> properties;

    const PluginProperty* find(ResType key) const;
    // Text of a Pascal-string property ("name", "catg"), or empty.
    std::string pascalString(ResType key) const;
    // Text of a C-string property ("8664", "enbl"), or empty.
    std::string cString(ResType key) const;
};

// Parses property-list bytes; false with a reason when they are malformed.
bool parsePropertyList(std::span<const std::uint8_t> bytes, PropertyList& list, std::string& error);

// Reads a named section of an ELF file, bounds-checked throughout.
bool readElfSection(const std::string& path, const std::string& section, std::vector<std::uint8_t>& bytes,
                    std::string& error);

// Evaluates an "enbl" condition for an image mode. Supports the forms modules
// use: in (PSHOP_ImageMode, ...), ==, !=, &&, || and parentheses. False with
// a reason when the condition cannot be parsed.
bool evaluateEnableCondition(const std::string& condition, int imageMode, bool& enabled, std::string& error);

// Whether the module accepts an image mode: by its "enbl" condition when it
// has one, else by its "mode" flags.
bool moduleAcceptsImageMode(const PropertyList& list, int imageMode, std::string& why);

// Name of an image mode as editors spell it ("RGBMode").
const char* imageModeName(int imageMode);

struct LoadedModule {
    void* library = nullptr;
    PluginMainProc entry = nullptr;
    PropertyList properties;
    std::string path;

    LoadedModule() = default;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    LoadedModule(LoadedModule&& other) noexcept;
    LoadedModule& operator=(LoadedModule&& other) noexcept;
    ~LoadedModule();
};

// Reads the property list and loads the module. The property list must name
// a filter ("8BFM") and an entry point that the library exports.
bool loadModule(const std::string& path, LoadedModule& module, std::string& error);

// The module that ships beside a program: "Globaro2.so" in the program's folder.
std::string defaultModulePath();

}  // namespace globaro
