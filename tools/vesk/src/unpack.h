// vesk unpack: a packed setup back to the side-file layout, setup.ini and
// the files it names, from which vesk pack rebuilds the same container.
#pragma once

#include <filesystem>

namespace vesk {

// A directory that exists and holds anything is refused unless force: its
// files would be replaced without a word.
void Unpack(const std::filesystem::path& setup, const std::filesystem::path& directory, bool force = false);

}  // namespace vesk
