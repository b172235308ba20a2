#include "unpack.h"

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include "byte_order.h"
#include "format/ini_keys.h"
#include "escaped_text.h"
#include "failure.h"
#include "ini_file.h"
#include "key_kinds.h"
#include "output_file.h"
#include "payload_copy.h"
#include "setup_file.h"
#include "signal_cleanup.h"
#include "setup_resources.h"
#include "settings_keys.h"
#include "text_encoding.h"
#include "setup_texts.h"
#include "unpacked_names.h"
#include "version_text.h"

namespace vesk {

namespace {

// The file each stored payload goes to.
using PayloadFiles = std::map<PayloadId, std::string>;

// Writes the settings, warning where a value cannot be written so that a
// pack reads it back the same.
class SettingsWriter {
public:
    SettingsWriter(const std::string& setup, unsigned codePage) : setup_(setup), codePage_(codePage) {
        text_ << "[" INI_SECTION "]\r\n";
    }

    void Put(const std::string& key, const std::string& value) {
        if (auto c = FirstControlCharacter(value)) {
            Warn(setup_, key + " holds the control character " + Escaped(std::string_view(&*c, 1)) +
                             ", which a settings value cannot; left out");
            return;
        }
        text_ << FormatIniLine(key, value);
    }
    // A text the setup holds in its code page, written as UTF-8.
    void PutShown(const std::string& key, const std::string& shown) {
        if (auto text = FromCodePage(shown, codePage_)) Put(key, *text);
        else Warn(setup_, key + " is not text of code page " + std::to_string(codePage_) + "; left out");
    }
    // A stored string or text: its text, with a warning when its stored
    // form is not the one pack writes (text and one NUL).
    void PutStored(const std::string& key, const std::string& raw) {
        std::string text = StoredText(raw);
        if (raw != text + '\0') Warn(setup_, key + " is not stored as text and one NUL; pack will store it so");
        PutShown(key, text);
    }
    std::string Text() const { return text_.str(); }

private:
    std::string setup_;
    unsigned codePage_;
    std::ostringstream text_;
};

// Every setting a packed setup holds, in the table's order, after warnings
// about what pack would store otherwise.
void PutSettings(SettingsWriter& ini, const std::string& setup, const StoredHead& head, StubArch arch,
                 unsigned codePage, const PayloadFiles& payloadFiles, const UnpackedBranding& branding) {
    const ContainerHeader& h = head.header;
    if (head.strings[0] != StoredText(head.strings[0]) + '\0')
        Warn(setup, "product file name is not stored as text and one NUL");
    const auto block = SplitTextBlock(head.textBlock);
    if (head.textBlock != block[0] + '\0' + block[1] + '\0' + block[2] + '\0')
        Warn(setup, "text block is not three strings with their NULs; pack will store it so");
    const auto initLine = SplitInitLine(block[2]);
    if (!initLine)
        Warn(setup, "init line " + Quoted(block[2]) +
                        " cannot be composed from a prefix and suffix; left at the defaults");
    if (h.textCodePage != codePage)
        Warn(setup, (h.textCodePage == 0 ? std::string("no text code page is recorded")
                                         : "text code page " + std::to_string(h.textCodePage) +
                                               " is not a Windows ANSI code page") +
                        "; texts read as " + std::to_string(codePage) + ", which pack will record");
    if (head.skipped != std::string(1, '\0'))
        Warn(setup, "field after the text block is not one NUL; pack will store one NUL");

    const StoredSettings stored{head, block, initLine};
    const KeyWriter write{[&](const std::string& key, const std::string& value) { ini.Put(key, value); },
                          [&](const std::string& key, const std::string& shown) { ini.PutShown(key, shown); },
                          [&](const std::string& key, const std::string& raw) { ini.PutStored(key, raw); }};
    for (const SettingsKey& key : SettingsKeys()) {
        if (UnpackSharedKey(key, stored, write)) continue;
        switch (key.unpack) {
        case Unpacked::Never:
            break;
        case Unpacked::String:
            ini.PutStored(key.name, head.strings[key.slot]);
            break;
        case Unpacked::Payload: {
            auto stored = payloadFiles.find(static_cast<PayloadId>(key.slot));
            ini.Put(key.name, stored == payloadFiles.end() ? "" : stored->second);
            break;
        }
        case Unpacked::RuntimeVersion:
            ini.Put(key.name, FormatVersionText({h.requiredRuntimeMS, h.requiredRuntimeLS}));
            break;
        case Unpacked::SizeCheck:
            ini.Put(key.name, h.expectedFileSize != 0 ? "1" : "0");
            break;
        case Unpacked::Arch:
            ini.Put(key.name, ArchName(arch));
            break;
        case Unpacked::CodePage:
            ini.Put(key.name, std::to_string(codePage));
            break;
        case Unpacked::Branding:
        case Unpacked::VersionString:
            for (const auto& [name, value] : branding.settings)
                if (name == key.name) ini.Put(name, value);
            break;
        default:  // a shared kind, written above
            break;
        }
    }
}

// The output directory and what this run puts there: the levels of the
// directory it creates and the files it has renamed into place are removed
// again unless the whole unpack succeeds.
class UnpackDirectory {
public:
    UnpackDirectory(const std::filesystem::path& directory, bool force) {
        std::vector<std::filesystem::path> missing;
        std::error_code error;
        if (!force && std::filesystem::is_directory(directory, error) &&
            !std::filesystem::is_empty(directory, error) && !error)
            throw Failure(directory.string(), "directory is not empty; give --force to write into it");
        for (auto level = directory; !level.empty() && !std::filesystem::exists(level, error) && !error;
             level = level.parent_path())
            missing.push_back(level);
        InstallCleanupHandlers();
        for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
            CleanupSignalsHeld held;
            std::filesystem::create_directory(*level, error);
            if (error) {
                Undo();
                throw Failure(directory.string(), "cannot create directory: " + error.message());
            }
            created_.push_back(*level);
            SetCreatedLevels(level->string(), static_cast<int>(created_.size()));
        }
    }
    ~UnpackDirectory() {
        if (!done_) Undo();
    }
    UnpackDirectory(const UnpackDirectory&) = delete;
    UnpackDirectory& operator=(const UnpackDirectory&) = delete;

    // Renames every finished file into place.
    void Commit(const std::vector<std::unique_ptr<OutputFile>>& outputs) {
        for (const auto& out : outputs) {
            out->Commit(false);
            committed_.push_back(out->Target());
        }
        done_ = true;
        SetCreatedLevels("", 0);
    }

private:
    void Undo() {
        std::error_code ignored;
        for (const auto& file : committed_) std::filesystem::remove(file, ignored);
        for (auto level = created_.rbegin(); level != created_.rend(); ++level)
            std::filesystem::remove(*level, ignored);  // only while empty
        SetCreatedLevels("", 0);
    }

    std::vector<std::filesystem::path> created_;
    std::vector<std::filesystem::path> committed_;
    bool done_ = false;
};

}  // namespace

void Unpack(const std::filesystem::path& path, const std::filesystem::path& directory, bool force) {
    const SetupFile setup = OpenSetup(path);
    const InputFile& file = *setup.file;
    if (!setup.embedded) throw Failure(file.Name(), VESK_SECTION_NAME " holds only the placeholder: nothing to unpack");
    const StoredHead& head = *setup.head;
    if (auto problems = PayloadProblems(setup); !problems.empty()) throw Failure(file.Name(), problems[0]);

    const unsigned codePage = TextCodePage(head.header);
    const std::string storedName = StoredText(head.strings[0]);
    if (auto problem = StoredProductNameProblem(storedName, codePage)) throw Failure(file.Name(), *problem);
    const std::string productName = FromCodePage(storedName, codePage).value_or("");
    PayloadFiles payloadFiles;
    for (const PayloadInfo& p : setup.payloads)
        payloadFiles[p.id] = p.id == PayloadId::Product ? productName : NamesOf(p.id).unpackedFile;
    // The builder's picture and icon, beside the settings that name them.
    const UnpackedBranding branding = UnpackBranding(setup);

    UnpackDirectory out(directory, force);
    // Every file is complete before any is renamed into place.
    std::vector<std::unique_ptr<OutputFile>> outputs;
    const std::vector<std::filesystem::path> inputs = {path};
    SettingsWriter ini(file.Name(), codePage);
    for (const PayloadInfo& p : setup.payloads) {
        outputs.push_back(std::make_unique<OutputFile>(directory / payloadFiles[p.id], inputs));
        uint32_t crc = CopyWithCrc(file, p.offset, p.storedSize - PAYLOAD_TRAILER_SIZE, outputs.back().get(),
                                   "unpacking " + std::string(NamesOf(p.id).name));
        if (crc != *ReadTrailer(file, p))
            throw Failure(file.Name(), std::string(NamesOf(p.id).name) + " payload does not match its CRC-32");
    }

    PutSettings(ini, file.Name(), head, setup.image.arch, codePage, payloadFiles, branding);

    for (const auto& [name, bytes] : branding.files) {
        outputs.push_back(std::make_unique<OutputFile>(directory / name, inputs));
        outputs.back()->Write(bytes);
    }

    outputs.push_back(std::make_unique<OutputFile>(directory / kUnpackedSettingsName, inputs));
    const std::string text = ini.Text();
    outputs.back()->Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    for (auto& output : outputs) output->Finish(false);
    out.Commit(outputs);
}

}  // namespace vesk
