#include "manifest.h"

namespace vesk {

namespace {

constexpr const char* kLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};
constexpr std::string_view kLevelAttribute = "level=\"";

}  // namespace

bool IsExecutionLevel(const std::string& level) {
    for (const char* known : kLevels)
        if (level == known) return true;
    return false;
}

std::vector<uint8_t> BuildManifest(const std::string& level) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
        "    <security>\r\n"
        "      <requestedPrivileges>\r\n"
        "        <requestedExecutionLevel level=\"" + level + "\" uiAccess=\"false\"/>\r\n"
        "      </requestedPrivileges>\r\n"
        "    </security>\r\n"
        "  </trustInfo>\r\n"
        "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\r\n"
        "    <application>\r\n"
        "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/><!-- Windows Vista -->\r\n"
        "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/><!-- Windows 7 -->\r\n"
        "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/><!-- Windows 8 -->\r\n"
        "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/><!-- Windows 8.1 -->\r\n"
        "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/><!-- Windows 10 and 11 -->\r\n"
        "    </application>\r\n"
        "  </compatibility>\r\n"
        "</assembly>\r\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::optional<std::string> ManifestExecutionLevel(std::span<const uint8_t> manifest) {
    const std::string_view text(reinterpret_cast<const char*>(manifest.data()), manifest.size());
    const size_t element = text.find("<requestedExecutionLevel");
    if (element == std::string_view::npos) return std::nullopt;
    const size_t end = text.find('>', element);
    const size_t at = text.substr(0, end).find(kLevelAttribute, element);
    if (at == std::string_view::npos) return std::nullopt;
    const size_t start = at + kLevelAttribute.size();
    const size_t close = text.find('"', start);
    if (close == std::string_view::npos || close > end) return std::nullopt;
    return std::string(text.substr(start, close - start));
}

}  // namespace vesk
