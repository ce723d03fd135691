// The HDF5 functions the plugin calls, looked up at run time in the HDF5 library that calls the
// plugin, so one binary serves every HDF5 from 1.10 on, whichever copy a process loaded.
#pragma once

#include "hdf5_filter/hdf5_abi.h"

namespace kestova::hdf5 {

struct Hdf5Api {
    abi::GetFilterByIdFunction get_filter_by_id = nullptr;  // H5Pget_filter_by_id2
    abi::ModifyFilterFunction modify_filter = nullptr;      // H5Pmodify_filter
    abi::FilterCountFunction filter_count = nullptr;        // H5Pget_nfilters
    abi::GetFilterFunction get_filter = nullptr;            // H5Pget_filter2
    abi::GetChunkFunction get_chunk = nullptr;              // H5Pget_chunk
    abi::TypeIntFunction type_class = nullptr;              // H5Tget_class
    abi::TypeIntFunction type_sign = nullptr;               // H5Tget_sign
    abi::TypeIntFunction type_order = nullptr;              // H5Tget_order
    abi::TypeSizeFunction type_size = nullptr;              // H5Tget_size
    // H5allocate_memory / H5free_memory; malloc and free when the library lacks them.
    abi::AllocateFunction allocate = nullptr;
    abi::FreeFunction free = nullptr;
    // H5Epush2 and the error class and message ids it takes; any may be missing.
    abi::PushErrorFunction push_error = nullptr;
    const abi::hid_t* error_class = nullptr;  // H5E_ERR_CLS_g
    const abi::hid_t* major = nullptr;        // H5E_PLINE_g
    const abi::hid_t* minor = nullptr;        // H5E_CALLBACK_g

    // True when every property and type function was found.
    bool complete() const;
    void* allocate_memory(std::size_t size) const;
    void free_memory(void* memory) const;
    // Puts `message` on the calling thread's HDF5 error stack, where h5py and the tools read it.
    void report(const char* function, const char* message) const;
};

// The functions of the library holding the code at `caller` (a return address of a callback),
// falling back to the process's global symbols; found once per library. Never null.
const Hdf5Api* hdf5_api(const void* caller);

}  // namespace kestova::hdf5
