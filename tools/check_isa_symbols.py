#!/usr/bin/env python3
"""Fails when code built for AVX2/FMA or SSE4.2 could run where the processor was not checked.

Only the objects of engine/avx and engine/sse are compiled with those instruction sets, and the
engine calls into them only after testing the processor. An inline or template function that
such an object emits with external linkage (a weak COMDAT copy, say of std::fma in a debug build)
may also be emitted by a portable object; the linker keeps one of the copies, and if it keeps the
vector one, portable callers run vector instructions and fault on older processors. Hence:

1. No function that a vector object defines with external linkage, and that an object of another
   instruction set also defines with external linkage, contains instructions of the vector set in
   that vector object.
2. In the linked binary, every function containing AVX (VEX-encoded) instructions is defined in
   an AVX object and by no object of another instruction set with external linkage.

usage: check_isa_symbols.py BINARY OBJECT_DIR...
"""

import pathlib
import re
import subprocess
import sys
from collections import defaultdict

# Instructions beyond the x86-64 baseline (SSE2) that -msse4.2 may emit without VEX encoding.
SSE4_MNEMONICS = {
    "addsubpd", "addsubps", "haddpd", "haddps", "hsubpd", "hsubps", "lddqu", "movddup",
    "movshdup", "movsldup", "pabsb", "pabsd", "pabsw", "palignr", "phaddd", "phaddsw", "phaddw",
    "phsubd", "phsubsw", "phsubw", "pmaddubsw", "pmulhrsw", "pshufb", "psignb", "psignd",
    "psignw", "blendpd", "blendps", "blendvpd", "blendvps", "dppd", "dpps", "extractps",
    "insertps", "movntdqa", "mpsadbw", "packusdw", "pblendvb", "pblendw", "pcmpeqq", "pcmpgtq",
    "pcmpestri", "pcmpestrm", "pcmpistri", "pcmpistrm", "pextrb", "pextrd", "pextrq", "pinsrb",
    "pinsrd", "pinsrq", "phminposuw", "pmaxsb", "pmaxsd", "pmaxud", "pmaxuw", "pminsb", "pminsd",
    "pminud", "pminuw", "pmovsxbd", "pmovsxbq", "pmovsxbw", "pmovsxdq", "pmovsxwd", "pmovsxwq",
    "pmovzxbd", "pmovzxbq", "pmovzxbw", "pmovzxdq", "pmovzxwd", "pmovzxwq", "pmuldq", "pmulld",
    "ptest", "roundpd", "roundps", "roundsd", "roundss", "crc32", "popcnt",
}
PREFIXES = {"rep", "repz", "repe", "repnz", "repne", "lock", "bnd", "notrack", "data16", "addr32",
            "cs", "ds", "es", "ss", "fs", "gs"}
FUNCTION_LABEL = re.compile(r"^[0-9a-f]+ <(.+)>:$")
INSTRUCTION = re.compile(r"^\s+[0-9a-f]+:\t(.*)$")


def is_avx(mnemonic):
    return mnemonic.startswith("v") and mnemonic not in ("verr", "verw")


def is_sse4(mnemonic):
    # crc32 and popcnt carry an operand-size suffix in AT&T syntax.
    return mnemonic in SSE4_MNEMONICS or mnemonic[:-1] in ("crc32", "popcnt")


VECTOR_TEST = {"avx": is_avx, "sse": lambda m: is_avx(m) or is_sse4(m)}


def instruction_set(path):
    parts = pathlib.PurePath(path).parts
    for isa in ("avx", "sse"):
        if "engine" in parts and isa in parts:
            return isa
    return "portable"


def mnemonics_by_function(path):
    """Function name (mangled) -> list of instruction mnemonic sets, one per definition."""
    listing = subprocess.run(["objdump", "-d", "--no-show-raw-insn", "-w", str(path)],
                             check=True, capture_output=True, text=True).stdout
    functions = defaultdict(list)
    current = None
    for line in listing.splitlines():
        label = FUNCTION_LABEL.match(line)
        if label:
            current = set()
            functions[label.group(1)].append(current)
            continue
        instruction = INSTRUCTION.match(line)
        if instruction and current is not None:
            words = [w for w in instruction.group(1).split() if w not in PREFIXES]
            if words and not words[0].startswith("("):
                current.add(words[0])
    return functions


def defined_functions(path):
    """(external, local) sets of the function names an object defines."""
    table = subprocess.run(["nm", "--defined-only", "-P", str(path)],
                           check=True, capture_output=True, text=True).stdout
    external, local = set(), set()
    for line in table.splitlines():
        fields = line.split()
        if len(fields) >= 2 and fields[1] in ("T", "W", "i"):
            external.add(fields[0])
        elif len(fields) >= 2 and fields[1] == "t":
            local.add(fields[0])
    return external, local


def main(binary, object_dirs):
    objects = sorted(p for d in object_dirs for p in pathlib.Path(d).rglob("*.o"))
    if not any(instruction_set(p) == "avx" for p in objects):
        sys.exit(f"no engine/avx objects under {' '.join(object_dirs)}")
    external_in = defaultdict(set)  # instruction set -> names defined with external linkage
    defined_in = defaultdict(set)  # instruction set -> every name defined
    symbols = {}
    for path in objects:
        external, local = defined_functions(path)
        symbols[path] = external
        isa = instruction_set(path)
        external_in[isa] |= external
        defined_in[isa] |= external | local

    faults = []
    for path in objects:
        isa = instruction_set(path)
        if isa == "portable":
            continue
        elsewhere = set().union(*(names for other, names in external_in.items() if other != isa))
        shared = symbols[path] & elsewhere
        if not shared:
            continue
        for name, bodies in mnemonics_by_function(path).items():
            if name in shared and any(VECTOR_TEST[isa](m) for body in bodies for m in body):
                faults.append(f"{path}: {name} holds {isa} code and is also defined with "
                              "external linkage outside that instruction set")

    not_avx = set().union(*(names for other, names in external_in.items() if other != "avx"))
    avx_functions = 0
    for name, bodies in mnemonics_by_function(binary).items():
        if not any(is_avx(m) for body in bodies for m in body):
            continue
        avx_functions += 1
        if name not in defined_in["avx"]:
            faults.append(f"{binary}: {name} holds AVX code but comes from no engine/avx object")
        elif name in not_avx:
            faults.append(f"{binary}: {name} holds AVX code and is also defined with external "
                          "linkage outside engine/avx")

    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"{len(objects)} objects and {binary}: {avx_functions} functions with AVX code, all "
          "private to engine/avx")
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
