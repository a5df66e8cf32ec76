// Loading and unloading the image of the system's code, one image a launch.
#include "AppKit/SystemImageInternal.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "AppKit/SystemLifecycleInternal.h"
#include "Foundation/FoundationInternal.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSObjectInternal.h"

namespace frameworks {
namespace {

struct LoadedImage {
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

// The blocks the loaded image allocated and has not freed, by address. Made once and never
// destroyed: an image still loaded when the program exits frees blocks during its exit.
struct ImageHeap {
    std::mutex mutex;
    std::map<std::uintptr_t, std::size_t> blocks;
};

ImageHeap& imageHeap() {
    static ImageHeap* const heap = new ImageHeap();
    return *heap;
}

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

// What the image's memory still refers to as its process ends: the live objects named by the
// aligned words of its static memory and of the heap blocks those words reach, block by block
// (each word once: a word is one reference), and the blocks reached. A word naming the start of
// a block of the image's heap leads into that block; the words are read as raw memory, padding
// included, so the address sanitizer must not check these reads. A block the image allocated
// and the program freed stays listed until the image goes; only a word the image kept after
// letting go of it would lead there, and the system's code keeps none.
struct Remains {
    std::vector<const NSObject*> references;
    std::vector<void*> blocks;
};

__attribute__((no_sanitize("address"))) Remains remainsOf(std::vector<WritableRange> ranges) {
    Remains found;
    ImageHeap& heap = imageHeap();
    const std::lock_guard<std::mutex> lock(heap.mutex);
    std::set<std::uintptr_t> reached;
    while (!ranges.empty()) {
        const WritableRange range = ranges.back();
        ranges.pop_back();
        const auto start = reinterpret_cast<std::uintptr_t>(range.begin);
        const std::uintptr_t first = (start + alignof(void*) - 1) & ~(alignof(void*) - 1);
        for (std::uintptr_t word = first; word + sizeof(void*) <= start + range.size;
             word += sizeof(void*)) {
            const void* value = *reinterpret_cast<const void* const*>(word);
            const auto address = reinterpret_cast<std::uintptr_t>(value);
            if (value == nullptr) {
                continue;
            }
            if (_NSObjectIsLive(value)) {
                found.references.push_back(static_cast<const NSObject*>(value));
            } else if (const auto block = heap.blocks.find(address);
                       block != heap.blocks.end() && reached.insert(address).second) {
                ranges.push_back({static_cast<const unsigned char*>(value), block->second});
                found.blocks.push_back(const_cast<void*>(value));
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
    loaded = {handle, runtimeImage};
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
    const Remains remains = remainsOf(writableRangesOf(loaded.handle));
    for (const NSObject* object : remains.references) {
        // Letting go of one reference may free objects another word named without owning.
        if (_NSObjectIsLive(object)) {
            object->release();
        }
    }
    {
        // A block the releases above freed (an object's destructor of the image) is no longer
        // listed and is not freed twice.
        ImageHeap& heap = imageHeap();
        const std::lock_guard<std::mutex> lock(heap.mutex);
        for (void* block : remains.blocks) {
            if (heap.blocks.erase(reinterpret_cast<std::uintptr_t>(block)) == 1) {
                ::operator delete(block);
            }
        }
        heap.blocks.clear();
    }
    _NSRuntimeForgetImage(loaded.runtimeImage);
    dlclose(loaded.handle);
    _NSObjectTrackLiveObjects(false);
    loaded = {};
}

}  // namespace frameworks

extern "C" void* _NSSystemImageAllocate(std::size_t size) {
    void* block = ::operator new(size);
    frameworks::ImageHeap& heap = frameworks::imageHeap();
    try {
        const std::lock_guard<std::mutex> lock(heap.mutex);
        heap.blocks[reinterpret_cast<std::uintptr_t>(block)] = size;
    } catch (...) {
        ::operator delete(block);
        throw;
    }
    return block;
}

extern "C" void _NSSystemImageDeallocate(void* block) {
    if (block == nullptr) {
        return;
    }
    {
        frameworks::ImageHeap& heap = frameworks::imageHeap();
        const std::lock_guard<std::mutex> lock(heap.mutex);
        heap.blocks.erase(reinterpret_cast<std::uintptr_t>(block));
    }
    ::operator delete(block);
}
