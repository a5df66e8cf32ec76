// Loading and unloading the image of the system's code, one image a launch.
#include "sim/SystemImage.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Foundation/FoundationInternal.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSObjectInternal.h"
#include "sim/SystemProcess.h"

namespace sim {
namespace {

struct LoadedImage {
    std::string path;
    void* handle = nullptr;
    int runtimeImage = 0;
};

LoadedImage& image() {
    static LoadedImage instance;
    return instance;
}

std::string& imagePath() {
    static std::string path;
    return path;
}

struct WritableRange {
    const unsigned char* begin = nullptr;
    std::size_t size = 0;
};

// The image's writable segments (data, bss, relocated read-only data): its static memory.
std::vector<WritableRange> writableRangesOf(void* handle) {
    struct Search {
        ElfW(Addr) base = 0;
        std::vector<WritableRange> ranges;
    } search;
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        return {};
    }
    search.base = map->l_addr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* found = static_cast<Search*>(data);
            if (info->dlpi_addr != found->base) {
                return 0;
            }
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& header = info->dlpi_phdr[i];
                if (header.p_type == PT_LOAD && (header.p_flags & PF_W) != 0) {
                    found->ranges.push_back(
                        {reinterpret_cast<const unsigned char*>(info->dlpi_addr + header.p_vaddr),
                         header.p_memsz});
                }
            }
            return 1;
        },
        &search);
    return search.ranges;
}

// Every aligned word of the ranges that holds the address of a live object, once per word: each
// is a reference the image's static memory holds. The words are read as raw memory, padding
// between variables included, so the address sanitizer must not check these reads.
__attribute__((no_sanitize("address"))) std::vector<const NSObject*> referencesIn(
    const std::vector<WritableRange>& ranges) {
    std::vector<const NSObject*> found;
    for (const WritableRange& range : ranges) {
        const auto start = reinterpret_cast<std::uintptr_t>(range.begin);
        const std::uintptr_t first = (start + alignof(void*) - 1) & ~(alignof(void*) - 1);
        for (std::uintptr_t word = first; word + sizeof(void*) <= start + range.size;
             word += sizeof(void*)) {
            const void* value = *reinterpret_cast<const void* const*>(word);
            if (value != nullptr && _NSObjectIsLive(value)) {
                found.push_back(static_cast<const NSObject*>(value));
            }
        }
    }
    return found;
}

}  // namespace

void setSystemImagePath(const std::string& path) {
    imagePath() = path;
}

std::string systemImagePath() {
    return imagePath();
}

bool loadSystemImage(std::string* error) {
    LoadedImage& loaded = image();
    if (imagePath().empty() || loaded.handle != nullptr) {
        return true;
    }
    _NSObjectTrackLiveObjects(true);
    _NSRuntimeBeginImage();
    // Its own statics, resolved at once; the frameworks it calls are the program's.
    void* handle = dlopen(imagePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    const int runtimeImage = _NSRuntimeEndImage();
    if (handle == nullptr) {
        const char* reason = dlerror();
        *error = reason != nullptr ? reason : imagePath() + ": cannot be loaded";
        _NSRuntimeForgetImage(runtimeImage);
        _NSObjectTrackLiveObjects(false);
        return false;
    }
    loaded = {imagePath(), handle, runtimeImage};
    return true;
}

void unloadSystemImage() {
    LoadedImage& loaded = image();
    if (loaded.handle == nullptr) {
        return;
    }
    if (auto finalize =
            reinterpret_cast<void (*)()>(dlsym(loaded.handle, "_QuenfoldSystemImageFinalize"))) {
        finalize();
    }
    for (const NSObject* object : referencesIn(writableRangesOf(loaded.handle))) {
        // Letting go of one reference may free objects another word named without owning.
        if (_NSObjectIsLive(object)) {
            object->release();
        }
    }
    _NSRuntimeForgetImage(loaded.runtimeImage);
    dlclose(loaded.handle);
    _NSObjectTrackLiveObjects(false);
    loaded = {};
}

}  // namespace sim
