#include "hdf5_filter/hdf5_api.h"

#include <dlfcn.h>

#include <cstdlib>
#include <deque>
#include <mutex>
#include <utility>

namespace kestova::hdf5 {

namespace {

template <typename Function>
void find(void* library, const char* name, Function& out) {
    out = reinterpret_cast<Function>(dlsym(library, name));
}

Hdf5Api resolve(void* library) {
    Hdf5Api api;
    find(library, "H5Pget_filter_by_id2", api.get_filter_by_id);
    find(library, "H5Pmodify_filter", api.modify_filter);
    find(library, "H5Pget_nfilters", api.filter_count);
    find(library, "H5Pget_filter2", api.get_filter);
    find(library, "H5Pget_chunk", api.get_chunk);
    find(library, "H5Tget_class", api.type_class);
    find(library, "H5Tget_sign", api.type_sign);
    find(library, "H5Tget_order", api.type_order);
    find(library, "H5Tget_size", api.type_size);
    find(library, "H5allocate_memory", api.allocate);
    find(library, "H5free_memory", api.free);
    // Both or neither: memory from one allocator must go back to the same one.
    if (api.allocate == nullptr || api.free == nullptr) {
        api.allocate = nullptr;
        api.free = nullptr;
    }
    find(library, "H5Epush2", api.push_error);
    find(library, "H5E_ERR_CLS_g", api.error_class);
    find(library, "H5E_PLINE_g", api.major);
    find(library, "H5E_CALLBACK_g", api.minor);
    return api;
}

// The loaded library holding `address`, opened again without loading anything; null when
// the address belongs to no library or the library does not export H5Pmodify_filter.
void* library_at(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return nullptr;
    }
    void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (library != nullptr && dlsym(library, "H5Pmodify_filter") == nullptr) {
        dlclose(library);
        return nullptr;
    }
    return library;  // kept open: its functions are used for the life of the process
}

}  // namespace

bool Hdf5Api::complete() const {
    return get_filter_by_id && modify_filter && filter_count && get_filter && get_chunk &&
           type_class && type_sign && type_order && type_size;
}

void* Hdf5Api::allocate_memory(std::size_t size) const {
    return allocate ? allocate(size, 0) : std::malloc(size);
}

void Hdf5Api::free_memory(void* memory) const {
    if (free) {
        free(memory);
    } else {
        std::free(memory);
    }
}

void Hdf5Api::report(const char* function, const char* message) const {
    if (push_error && error_class && major && minor) {
        push_error(abi::kDefaultStack, "libh5kestova.so", function, 0, *error_class, *major, *minor,
                   "%s", message);
    }
}

const Hdf5Api* hdf5_api(const void* caller) {
    // A process rarely holds more than one HDF5 library; each one seen keeps its entry (a deque
    // never moves its elements, so the pointers handed out stay valid). Neither is ever
    // destroyed: HDF5 flushes its files, through this filter, after static destructors ran.
    static auto* mutex = new std::mutex;
    static auto* libraries = new std::deque<std::pair<void*, Hdf5Api>>;

    std::lock_guard lock(*mutex);
    void* library = library_at(caller);
    if (library == nullptr) library = RTLD_DEFAULT;
    for (const auto& [known, api] : *libraries) {
        if (known == library) {
            if (library != RTLD_DEFAULT) dlclose(library);  // dlopen counted one more reference
            return &api;
        }
    }
    libraries->emplace_back(library, resolve(library));
    return &libraries->back().second;
}

}  // namespace kestova::hdf5
