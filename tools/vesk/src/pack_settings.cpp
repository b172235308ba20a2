#include "pack_settings.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "format/ini_keys.h"
#include "escaped_text.h"
#include "failure.h"
#include "ini_file.h"
#include "key_kinds.h"
#include "msi_properties.h"
#include "settings_keys.h"
#include "text_encoding.h"
#include "setup_texts.h"
#include "unpacked_names.h"
#include "version_text.h"

namespace vesk {

namespace {

constexpr const char* kMsiProductCode = "ProductCode";
constexpr const char* kMsiProductVersion = "ProductVersion";
constexpr const char* kMsiProductName = "ProductName";
constexpr const char* kMsiManufacturer = "Manufacturer";

struct Setting {
    std::string value;
    std::string origin;
    std::filesystem::path base;  // where a relative file path starts
};

class Settings {
public:
    explicit Settings(const PackRequest& request) {
        if (request.settingsFile) {
            file_ = *request.settingsFile;
            ini_ = IniSection::Read(file_, INI_SECTION);
        }
        for (const SettingOverride& o : request.overrides) overrides_[LowerCase(o.key)] = o;
    }

    std::optional<Setting> Get(const std::string& key) const {
        if (auto it = overrides_.find(LowerCase(key)); it != overrides_.end())
            return Setting{it->second.value, it->second.origin, {}};
        if (auto value = ini_.Get(key)) return Setting{*value, file_.string(), file_.parent_path()};
        return std::nullopt;
    }

    const IniSection& Ini() const { return ini_; }
    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
    IniSection ini_;
    std::map<std::string, SettingOverride> overrides_;
};

[[noreturn]] void Fail(const Setting& s, const std::string& key, const std::string& problem) {
    throw Failure(s.origin, key + ": " + problem);
}

void RefuseControlCharacters(const Setting& s, const std::string& key) {
    if (auto c = FirstControlCharacter(s.value))
        Fail(s, key, "value holds the control character " + Escaped(std::string_view(&*c, 1)));
}

void RefuseTooLong(const Setting& s, const std::string& key, size_t bytes) {
    const size_t limit = SettingsKeyNamed(key).limit;
    if (limit != 0 && bytes > limit)
        Fail(s, key, "is " + std::to_string(bytes) + " bytes; at most " + std::to_string(limit) + " fit");
}

// One line of UTF-8 text: what every value the setup shows must be.
const std::string& CheckedText(const Setting& s, const std::string& key) {
    if (auto at = InvalidUtf8At(s.value))
        Fail(s, key, "is not UTF-8 text: byte " + Escaped(s.value.substr(*at, 1)) + " at offset " + std::to_string(*at));
    RefuseControlCharacters(s, key);
    return s.value;
}

// A text as the setup stores and shows it: in the code page, within its
// field (counted in the code page's bytes).
std::string ShownText(const Setting& s, const std::string& key, unsigned codePage) {
    CheckedText(s, key);
    CodePageText text = ToCodePage(s.value, codePage);
    if (!text.unrepresentable.empty())
        Fail(s, key, "holds " + DescribeCharacter(text.unrepresentable) + ", which code page " +
                         std::to_string(codePage) + " cannot show; choose the code page of the setup's users (" +
                         kCodePageKey + ", --codepage)");
    RefuseTooLong(s, key, text.bytes.size());
    return text.bytes;
}

std::string Text(const Settings& settings, const std::string& key, const std::string& fallback, unsigned codePage) {
    auto s = settings.Get(key);
    return s ? ShownText(*s, key, codePage) : fallback;
}

unsigned CodePage(const Settings& settings) {
    auto s = settings.Get(kCodePageKey);
    if (!s || s->value.empty()) return kDefaultCodePage;
    unsigned value = 0;
    auto [ptr, ec] = std::from_chars(s->value.data(), s->value.data() + s->value.size(), value);
    if (ec != std::errc() || ptr != s->value.data() + s->value.size() || !IsAnsiCodePage(value))
        Fail(*s, kCodePageKey, Quoted(s->value) + " is not a Windows ANSI code page (" + AnsiCodePageList() + ")");
    return value;
}

uint8_t Byte(const Settings& settings, const std::string& key, uint8_t fallback) {
    auto s = settings.Get(key);
    if (!s || s->value.empty()) return fallback;
    unsigned value = 0;
    auto [ptr, ec] = std::from_chars(s->value.data(), s->value.data() + s->value.size(), value);
    if (ec != std::errc() || ptr != s->value.data() + s->value.size() || value > 255)
        Fail(*s, key, Quoted(s->value) + " is not a number from 0 to 255");
    return static_cast<uint8_t>(value);
}

std::optional<std::filesystem::path> FilePath(const Settings& settings, const std::string& key) {
    auto s = settings.Get(key);
    if (!s || s->value.empty()) return std::nullopt;
    RefuseControlCharacters(*s, key);
    return s->base / s->value;
}

// The name the setup writes the product under: a plain Windows file name,
// in the code page.
std::string StoredFileName(const std::filesystem::path& product, unsigned codePage) {
    std::string name = product.filename().string();
    std::string stored = ShownText(Setting{name, product.string(), {}}, INI_KEY_PRODUCT_FILE, codePage);
    if (auto problem = FileNameProblem(stored, codePage))
        throw Failure(product.string(), "file name " + Quoted(name) + " cannot be used on Windows: it " + *problem);
    if (auto clash = UnpackNameClash(name))
        throw Failure(product.string(), "file name " + Quoted(name) + " clashes with " + *clash +
                                            " that unpack writes; rename the product");
    return stored;
}

// Where ProductVersion came from: the option or file that gave it, else the
// MSI whose Property table did.
std::string ProductVersionOrigin(const Settings& settings, const std::filesystem::path& product) {
    auto given = settings.Get(INI_KEY_PRODUCT_VERSION);
    return given ? given->origin : product.string();
}

// ProductCode, ProductVersion and ProductName: given, or else read from the
// database's Property table; the version resource takes them as UTF-8, the
// container in the code page.
void ResolveProductIdentity(const Settings& settings, const std::filesystem::path& product, bool transform,
                            unsigned codePage, ContainerFields& f, Branding& branding) {
    auto code = settings.Get(INI_KEY_PRODUCT_CODE);
    auto version = settings.Get(INI_KEY_PRODUCT_VERSION);
    auto name = settings.Get(INI_KEY_PRODUCT_NAME);
    std::map<std::string, std::string> fromMsi;
    if (!code || !version || !name) {
        if (transform)
            throw Failure(product.string(), std::string("a transform has no Property table to read; give ") +
                                                (!code ? INI_KEY_PRODUCT_CODE : !version ? INI_KEY_PRODUCT_VERSION
                                                                                         : INI_KEY_PRODUCT_NAME));
        fromMsi = ReadMsiProperties(product, {kMsiProductCode, kMsiProductVersion, kMsiProductName, kMsiManufacturer});
        // The library reads a string it cannot convert as empty.
        if (auto it = fromMsi.find(kMsiManufacturer); it != fromMsi.end()) {
            if (!it->second.empty() && it->second.size() <= kMaxVersionString && !InvalidUtf8At(it->second))
                branding.manufacturer = it->second;
            else if (!settings.Get(kVersionCompanyNameKey))
                Warn(product.string(), "its Manufacturer cannot be read (empty, over " +
                                           std::to_string(kMaxVersionString) +
                                           " bytes or not UTF-8): the version resource gets no CompanyName; give "
                                           "VersionCompanyName");
        }
    }
    auto pick = [&](const std::optional<Setting>& given, const char* key, const char* property) {
        Setting s;
        if (given) {
            s = *given;
        } else {
            // Windows Installer needs all three; the MSI library reads a
            // string it cannot convert from the database's code page as empty.
            auto it = fromMsi.find(property);
            if (it == fromMsi.end() || it->second.empty())
                throw Failure(product.string(), std::string("the Property table has no ") + property +
                                                    " (or an empty one); give " + key);
            s = Setting{it->second, product.string(), {}};
        }
        return s;
    };
    const Setting codeGiven = pick(code, INI_KEY_PRODUCT_CODE, kMsiProductCode);
    const Setting versionGiven = pick(version, INI_KEY_PRODUCT_VERSION, kMsiProductVersion);
    const Setting nameGiven = pick(name, INI_KEY_PRODUCT_NAME, kMsiProductName);
    f.productCode = ShownText(codeGiven, INI_KEY_PRODUCT_CODE, codePage);
    f.productVersion = ShownText(versionGiven, INI_KEY_PRODUCT_VERSION, codePage);
    f.productName = ShownText(nameGiven, INI_KEY_PRODUCT_NAME, codePage);
    branding.productVersion = versionGiven.value;
    branding.productName = nameGiven.value;

    std::string codeOrigin = code ? code->origin : product.string();
    if (!IsBracedGuid(f.productCode))
        throw Failure(codeOrigin, std::string(INI_KEY_PRODUCT_CODE) + ": " + Quoted(f.productCode) +
                                      " is not a braced upper-case GUID");
    if (f.productVersion.empty())
        throw Failure(ProductVersionOrigin(settings, product),
                      std::string(INI_KEY_PRODUCT_VERSION) + ": empty; the setup needs a version");
}

}  // namespace

PackPlan ResolvePackSettings(const PackRequest& request) {
    for (const SettingOverride& o : request.overrides)
        if (!FindSettingsKey(o.key)) throw Failure(o.origin, "unknown key " + Quoted(o.key));
    Settings settings(request);
    for (const std::string& key : settings.Ini().Keys()) {
        if (!FindSettingsKey(key)) Warn(settings.File().string(), "unknown key " + Quoted(key) + " ignored");
    }
    for (const SettingsKey& key : SettingsKeys())
        if (key.place == KeyPlace::SideFileOnly)
            if (auto s = settings.Get(key.name))
                Warn(s->origin, std::string(key.name) + " has no effect in a packed setup");

    PackPlan plan;
    ContainerFields& f = plan.fields;
    auto product = FilePath(settings, INI_KEY_PRODUCT_FILE);
    if (!product)
        throw Failure(request.settingsFile ? request.settingsFile->string() : "vesk pack",
                      "no product file (ProductFile or --product)");
    plan.product = *product;
    plan.runtimeNT = FilePath(settings, INI_KEY_RUNTIME_NT);
    plan.runtime9X = FilePath(settings, INI_KEY_RUNTIME_9X);
    plan.branding.splash = FilePath(settings, kSplashKey);
    plan.branding.icon = FilePath(settings, kIconKey);
    if (auto s = settings.Get(kExecutionLevelKey); s && !s->value.empty()) {
        if (!IsExecutionLevel(s->value))
            Fail(*s, kExecutionLevelKey, Quoted(s->value) + " is not asInvoker, highestAvailable or requireAdministrator");
        plan.branding.executionLevel = s->value;
    }

    const unsigned codePage = CodePage(settings);
    f.header.textCodePage = codePage;
    f.transformBase = Text(settings, INI_KEY_TRANSFORM, "", codePage);
    const bool transform = !f.transformBase.empty();
    // The setup quotes the base database's path on msiexec's command line: a
    // quote in it would end that path and begin switches and properties.
    if (f.transformBase.find('"') != std::string::npos)
        Fail(*settings.Get(INI_KEY_TRANSFORM), INI_KEY_TRANSFORM, "holds '\"', which would end the quoted path on msiexec's command line");
    f.productFileName = StoredFileName(plan.product, codePage);
    if (!HasCompoundFileSignature(plan.product))
        throw Failure(plan.product.string(), transform ? "not a transform (no compound file signature)"
                                                       : "not an installer database (no compound file signature)");
    ResolveProductIdentity(settings, plan.product, transform, codePage, f, plan.branding);
    plan.branding.productVersionOrigin = ProductVersionOrigin(settings, plan.product);
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.unpack != Unpacked::VersionString) continue;
        if (auto s = settings.Get(key.name)) {
            RefuseTooLong(*s, key.name, CheckedText(*s, key.name).size());
            plan.branding.versionStrings[VersionStringName(key)] = s->value;
        }
    }

    std::string versionText = Text(settings, INI_KEY_RUNTIME_VERSION, "", codePage);
    auto words = ParseVersionText(versionText);
    if (!words)
        Fail(*settings.Get(INI_KEY_RUNTIME_VERSION), INI_KEY_RUNTIME_VERSION,
             Quoted(versionText) + " is not a version a.b.c.d with parts from 0 to 65535");
    f.header.requiredRuntimeMS = words->ms;
    f.header.requiredRuntimeLS = words->ls;

    const KeyReader read{
        [&](const SettingsKey& key, const std::string& fallback) { return Text(settings, key.name, fallback, codePage); },
        [&](const SettingsKey& key, uint8_t fallback) { return Byte(settings, key.name, fallback); }, codePage};
    InitLineParts initLine;
    for (const SettingsKey& key : SettingsKeys())
        if (key.place != KeyPlace::ProductIdentity) PackSharedKey(key, read, f, initLine);
    f.initLine = ComposeInitLine(initLine.prefix, initLine.suffix);
    if (auto problem = CheckQuestionConversions(f.texts[MSG_EXIST_ERROR - MESSAGE_ID_FIRST]))
        Fail(*settings.Get(INI_KEY_EXIST_ERROR), INI_KEY_EXIST_ERROR, *problem);

    if (auto s = settings.Get(kArchKey); s && !s->value.empty()) {
        auto arch = ArchNamed(s->value);
        if (!arch) Fail(*s, kArchKey, Quoted(s->value) + " is not x86 or x64");
        const bool fromFile = s->origin == settings.File().string();
        plan.arch = ArchRequest{*arch, fromFile ? std::string(kArchKey) + " in " + s->origin : s->origin};
    }
    if (auto s = settings.Get(kSizeCheckKey)) {
        if (s->value != "0" && s->value != "1") Fail(*s, kSizeCheckKey, "must be 0 or 1");
        plan.sizeCheck = s->value == "1";
    }
    // What is left to check is the three strings of the text block together.
    EncodeContainerHead(f, request.settingsFile ? request.settingsFile->string() : "vesk pack");
    return plan;
}

}  // namespace vesk
