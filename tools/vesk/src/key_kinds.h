// The kinds of settings key that many keys share, both ways side by side:
// how pack reads a key's value into the slot its row names, and how unpack
// writes it back from there. A new key of one of these kinds (a text block
// part, a descriptor byte, an init line part, a configurable text) is one row
// of the key table; the keys of a kind of their own are read and written by
// pack_settings.cpp and unpack.cpp themselves.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "container_format.h"
#include "settings_keys.h"
#include "setup_texts.h"

namespace vesk {

// How pack reads a value: a text in the setup's code page within the key's
// limit, a number of one byte, or the fallback when none is given. Each
// refuses a value it cannot store, naming the key.
struct KeyReader {
    std::function<std::string(const SettingsKey& key, const std::string& fallback)> text;
    std::function<uint8_t(const SettingsKey& key, uint8_t fallback)> byte;
    unsigned codePage;
};

// Reads a key of a shared kind into its slot of fields, the init line's parts
// into initLine (which the caller composes); false for a key of another kind.
bool PackSharedKey(const SettingsKey& key, const KeyReader& read, ContainerFields& fields, InitLineParts& initLine);

// How unpack writes a value back: as it is, a text of the code page, or a
// stored string (its text, warned about when not stored as text and a NUL).
struct KeyWriter {
    std::function<void(const std::string& key, const std::string& value)> put;
    std::function<void(const std::string& key, const std::string& shown)> putShown;
    std::function<void(const std::string& key, const std::string& raw)> putStored;
};

// A packed setup's head, as the shared kinds read it.
struct StoredSettings {
    const StoredHead& head;
    std::array<std::string, 3> block;       // the text block's parts
    std::optional<InitLineParts> initLine;  // none when no prefix and suffix compose it
};

// Writes a key of a shared kind back from its slot; false for a key of
// another kind.
bool UnpackSharedKey(const SettingsKey& key, const StoredSettings& stored, const KeyWriter& write);

}  // namespace vesk
