// The few HDF5 types, constants and function signatures the plugin uses, as HDF5 1.10 to 2.x
// define them in their documented C interface (64-bit identifiers since 1.10). The plugin is
// built without HDF5's headers and library: the functions are found at run time (hdf5_api.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestova::hdf5::abi {

using hid_t = int64_t;
using herr_t = int;
using htri_t = int;
using hsize_t = unsigned long long;
using H5Z_filter_t = int;

// H5PL_type_t: what a plugin library provides.
enum PluginType : int { kPluginTypeError = -1, kPluginTypeFilter = 0 };

// H5T_class_t, H5T_sign_t and H5T_order_t values the plugin tells apart.
inline constexpr int kClassInteger = 0;
inline constexpr int kClassFloat = 1;
inline constexpr int kSignNone = 0;
inline constexpr int kSignTwosComplement = 1;
inline constexpr int kOrderLittleEndian = 0;
inline constexpr int kOrderBigEndian = 1;

// The filter function's flags: set when a chunk is read back.
inline constexpr unsigned kFlagReverse = 0x0100;
inline constexpr unsigned kFlagOptional = 0x0001;

inline constexpr int kClassVersion = 1;  // H5Z_CLASS_T_VERS

extern "C" {
using CanApplyFunction = htri_t (*)(hid_t dcpl, hid_t type, hid_t space);
using SetLocalFunction = herr_t (*)(hid_t dcpl, hid_t type, hid_t space);
using FilterFunction = std::size_t (*)(unsigned flags, std::size_t cd_nelmts,
                                       const unsigned cd_values[], std::size_t nbytes,
                                       std::size_t* buf_size, void** buf);

// H5Z_class2_t.
struct FilterClass {
    int version;
    H5Z_filter_t id;
    unsigned encoder_present;
    unsigned decoder_present;
    const char* name;
    CanApplyFunction can_apply;
    SetLocalFunction set_local;
    FilterFunction filter;
};

using GetFilterByIdFunction = herr_t (*)(hid_t plist, H5Z_filter_t id, unsigned* flags,
                                         std::size_t* cd_nelmts, unsigned cd_values[],
                                         std::size_t namelen, char name[], unsigned* config);
using FilterCountFunction = int (*)(hid_t plist);  // H5Pget_nfilters
using GetFilterFunction = H5Z_filter_t (*)(hid_t plist, unsigned index, unsigned* flags,
                                           std::size_t* cd_nelmts, unsigned cd_values[],
                                           std::size_t namelen, char name[], unsigned* config);
using ModifyFilterFunction = herr_t (*)(hid_t plist, H5Z_filter_t id, unsigned flags,
                                        std::size_t cd_nelmts, const unsigned cd_values[]);
using GetChunkFunction = int (*)(hid_t plist, int max_ndims, hsize_t dims[]);
using TypeIntFunction = int (*)(hid_t type);  // H5Tget_class, H5Tget_sign, H5Tget_order
using TypeSizeFunction = std::size_t (*)(hid_t type);
// hbool_t was unsigned int or bool depending on the build; only false is ever passed.
using AllocateFunction = void* (*)(std::size_t size, unsigned clear);
using FreeFunction = herr_t (*)(void* memory);
using PushErrorFunction = herr_t (*)(hid_t stack, const char* file, const char* func, unsigned line,
                                     hid_t cls, hid_t major, hid_t minor, const char* format, ...);
}

inline constexpr hid_t kDefaultStack = 0;  // H5E_DEFAULT

}  // namespace kestova::hdf5::abi
