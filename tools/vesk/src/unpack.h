// vesk unpack: a packed setup back to the side-file layout, setup.ini and
// the files it names, from which vesk pack rebuilds the same container.
#pragma once

#include <filesystem>

namespace vesk {

void Unpack(const std::filesystem::path& setup, const std::filesystem::path& directory);

}  // namespace vesk
