// The HDF5 filter plugin: its two exported entry points and the filter class they hand to HDF5.
// set_local completes a dataset's values with the element type and the chunk size, and the
// filter function turns a chunk into one Kestova container and back. Every callback reports a
// failure on HDF5's error stack and returns HDF5's failure value; nothing escapes as an exception.
#include <algorithm>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <vector>

#include "hdf5_filter/chunk_codec.h"
#include "hdf5_filter/filter_values.h"
#include "hdf5_filter/hdf5_abi.h"
#include "hdf5_filter/hdf5_api.h"

namespace kestova::hdf5 {

namespace {

using abi::hid_t;

constexpr int kMaxRank = 32;  // H5S_MAX_RANK

// The element type of the HDF5 type `type`; Unsupported for any other class, size or order.
ElementType element_type(const Hdf5Api& api, hid_t type) {
    const int type_class = api.type_class(type);
    if (type_class != abi::kClassInteger && type_class != abi::kClassFloat) {
        return ElementType::Unsupported;
    }
    if (api.type_order(type) != abi::kOrderLittleEndian) return ElementType::Unsupported;
    const bool is_signed =
        type_class == abi::kClassFloat || api.type_sign(type) == abi::kSignTwosComplement;
    return element_type_of(type_class == abi::kClassFloat, is_signed, api.type_size(type));
}

abi::htri_t can_apply(hid_t, hid_t type, hid_t) {
    const Hdf5Api* api = hdf5_api(__builtin_return_address(0));
    if (!api->complete()) return -1;
    if (element_type(*api, type) != ElementType::Unsupported) return 1;
    api->report("can_apply",
                "kestova filter: the dataset's element type is not one Kestova "
                "stores (float32, float64, int8, int16, int32, uint8, uint16, "
                "little-endian)");
    return 0;
}

// True when this filter is the pipeline's first, the one that sees the dataset's values; a
// shuffle or any other filter before it would hand it bytes to compress as numbers, and the
// lossy result would come back scrambled.
bool is_first_filter(const Hdf5Api& api, hid_t dcpl) {
    if (api.filter_count(dcpl) < 1) return false;
    unsigned flags = 0;
    std::size_t count = 0;
    return api.get_filter(dcpl, 0, &flags, &count, nullptr, 0, nullptr, nullptr) == kFilterId;
}

abi::herr_t set_local_with(const Hdf5Api& api, hid_t dcpl, hid_t type) {
    if (!is_first_filter(api, dcpl)) {
        api.report("set_local",
                   "kestova filter: it must be the first filter of the pipeline (it compresses "
                   "the dataset's values; a shuffle or another filter before it would hand it "
                   "bytes)");
        return -1;
    }
    unsigned flags = 0;
    std::size_t count = kValueCount;
    std::array<unsigned, kValueCount> given{};
    if (api.get_filter_by_id(dcpl, kFilterId, &flags, &count, given.data(), 0, nullptr, nullptr) <
        0) {
        return -1;
    }
    // Values beyond those a user gives (set_local's own, from a copied dataset) are rewritten.
    const auto settings = parse_settings(
        std::span<const unsigned>(given).first(std::min<std::size_t>(count, kSettingsCount)));
    if (!settings) {
        api.report("set_local", settings.error().c_str());
        return -1;
    }
    std::array<abi::hsize_t, kMaxRank> dims{};
    const int rank = api.get_chunk(dcpl, kMaxRank, dims.data());
    if (rank <= 0) return -1;
    uint64_t elements = 1;
    for (int i = 0; i < rank; ++i) elements *= dims[static_cast<std::size_t>(i)];
    const FilterValues values{*settings, element_type(api, type), elements};
    // Version 2 stores float chunks within a target only: refuse the dataset, not each chunk
    // (an optional filter's refused chunk is stored raw without a word).
    if (settings->format == 2 && settings->bound == BoundKind::None && settings->psnr == 0 &&
        settings->bits_per_sample == 0 && is_float_type(values.element_type)) {
        api.report("set_local",
                   "kestova filter: format 2 needs max_error, psnr or bits_per_sample for float "
                   "datasets (max_error=0 asks for exact samples)");
        return -1;
    }
    const auto recorded = all_values(values);
    return api.modify_filter(dcpl, kFilterId, flags, recorded.size(), recorded.data());
}

abi::herr_t set_local(hid_t dcpl, hid_t type, hid_t) {
    const Hdf5Api* api = hdf5_api(__builtin_return_address(0));
    if (!api->complete()) return -1;
    try {
        return set_local_with(*api, dcpl, type);
    } catch (const std::exception& fault) {
        api->report("set_local", fault.what());
        return -1;
    }
}

// Replaces HDF5's buffer by one holding `size` bytes written by `fill`; 0 on failure.
template <typename Fill>
std::size_t replace_buffer(const Hdf5Api& api, std::size_t size, std::size_t* buf_size, void** buf,
                           Fill fill) {
    void* replacement = api.allocate_memory(size);
    if (replacement == nullptr) {
        api.report("filter", "kestova filter: out of memory");
        return 0;
    }
    const auto filled = fill(std::span<uint8_t>(static_cast<uint8_t*>(replacement), size));
    if (!filled) {
        api.free_memory(replacement);
        api.report("filter", filled.error().c_str());
        return 0;
    }
    api.free_memory(*buf);
    *buf = replacement;
    *buf_size = size;
    return size;
}

std::size_t run_filter(const Hdf5Api& api, unsigned flags, std::span<const unsigned> cd_values,
                       std::span<const uint8_t> input, std::size_t* buf_size, void** buf) {
    const auto values = parse_values(cd_values);
    if (!values) {
        api.report("filter", values.error().c_str());
        return 0;
    }
    if (flags & abi::kFlagReverse) {
        const auto size = decoded_size(input, values->element_type, values->chunk_elements);
        if (!size) {
            api.report("filter", size.error().c_str());
            return 0;
        }
        return replace_buffer(api, *size, buf_size, buf, [&](std::span<uint8_t> out) {
            return decode_chunk(input, values->element_type, out);
        });
    }
    auto container = encode_chunk(input, values->element_type, values->settings);
    if (!container) {
        api.report("filter", container.error().c_str());
        return 0;
    }
    return replace_buffer(api, container->size(), buf_size, buf,
                          [&](std::span<uint8_t> out) -> std::expected<void, std::string> {
                              std::memcpy(out.data(), container->data(), out.size());
                              return {};
                          });
}

std::size_t filter(unsigned flags, std::size_t cd_nelmts, const unsigned cd_values[],
                   std::size_t nbytes, std::size_t* buf_size, void** buf) {
    const Hdf5Api* api = hdf5_api(__builtin_return_address(0));
    try {
        return run_filter(*api, flags, std::span<const unsigned>(cd_values, cd_nelmts),
                          std::span<const uint8_t>(static_cast<const uint8_t*>(*buf), nbytes),
                          buf_size, buf);
    } catch (const std::exception& fault) {
        api->report("filter", fault.what());
        return 0;
    }
}

const abi::FilterClass kFilterClass{
    .version = abi::kClassVersion,
    .id = kFilterId,
    .encoder_present = 1,
    .decoder_present = 1,
    .name = kFilterName,
    .can_apply = can_apply,
    .set_local = set_local,
    .filter = filter,
};

}  // namespace

}  // namespace kestova::hdf5

extern "C" {

__attribute__((visibility("default"))) kestova::hdf5::abi::PluginType H5PLget_plugin_type() {
    return kestova::hdf5::abi::kPluginTypeFilter;
}

__attribute__((visibility("default"))) const void* H5PLget_plugin_info() {
    return &kestova::hdf5::kFilterClass;
}
}
