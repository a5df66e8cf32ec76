// Seeds for the fuzz harnesses, made from the project's own files into <folder>/<harness>/:
// the preferences file and the login-item list as the session writes them, and the binary form
// of every property list (the session writes XML; libplist makes the binary one).
//
//   fuzz_make_seeds <folder>
#include <plist/plist.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "CoreServices/LoginItemListInternal.h"
#include "Foundation/PreferenceDomainInternal.h"
#include "control/SystemProcess.h"
#include "sim/Desktop.h"

namespace {

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The binary form of a property list file, or nothing when libplist cannot read it.
std::string binaryOf(const std::string& bytes) {
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return {};
    }
    char* binary = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    std::string result = binary != nullptr ? std::string(binary, length) : std::string();
    plist_to_bin_free(binary);
    plist_free(root);
    return result;
}

// The file as it is and in binary form.
void writeBothForms(const std::filesystem::path& folder, const std::string& name,
                    const std::string& bytes) {
    writeBytes(folder / (name + ".plist"), bytes);
    if (const std::string binary = binaryOf(bytes); !binary.empty()) {
        writeBytes(folder / (name + ".binary.plist"), binary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds <folder>\n";
        return 2;
    }
    const std::filesystem::path seeds(argv[1]);
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    sim::reset();
    const std::filesystem::path resources = QUENFOLD_SOURCE_DIR "/resources";

    // What the session writes, from the control API as an earlier run would have left it.
    std::string error;
    bool written = sim::storeSystemDefault("LaunchAutomaticallyOnLogin", true, &error) &&
                   sim::storeSystemDefault("ShowSettingsOnLaunch", false, &error) &&
                   sim::storeSystemDefault("HideDockIcon", true, &error);
    written = written && sim::appendLoginItem({sim::mainBundlePath(), true, {}, true}, &error) &&
              sim::appendLoginItem({"/Applications/Mail.app", true}, &error) &&
              sim::appendLoginItem({"/Volumes/Backup/Tool.app", false, "Tool"}, &error);
    if (!written) {
        std::cerr << "fuzz_make_seeds: the session could not write its files: " << error << '\n';
        return 1;
    }
    const std::filesystem::path storedPlist = seeds / "stored_plist";
    writeBothForms(storedPlist, "preferences",
                   readBytes(frameworks::applicationDomain().filePath()));
    writeBothForms(storedPlist, "loginitems", readBytes(frameworks::loginItemList().filePath()));
    for (const char* resource : {"Info", "MainMenu"}) {
        const std::string bytes = readBytes(resources / (std::string(resource) + ".plist"));
        writeBytes(storedPlist / (std::string(resource) + ".binary.plist"), binaryOf(bytes));
    }
    writeBytes(seeds / "interface_file" / "MainMenu.binary.plist",
               binaryOf(readBytes(resources / "MainMenu.plist")));
    sim::reset();
    return 0;
}
