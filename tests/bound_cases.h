/* The error bounds that the chunk tests of every surface hold each element type to: integer
 * bounds with a fraction, which rounding must not push over, and a float64 bound tight enough
 * that narrowing takes a share of it. `kind` is 1 (relative to the chunk's range) or 2
 * (absolute), the numbers of BoundKind and kestova_bound. Plain C, for the C and C++ tests. */
#ifndef KESTOVA_TESTS_BOUND_CASES_H
#define KESTOVA_TESTS_BOUND_CASES_H

typedef struct KestovaBoundCase {
    int kind;
    double max_error;
} KestovaBoundCase;

static const KestovaBoundCase kKestovaBoundCases[4] = {{1, 1e-3}, {1, 2e-2}, {2, 0.85}, {2, 20.85}};

#endif
