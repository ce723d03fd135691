#include "check.h"

#include <stdio.h>

static int failed_checks;
static int passed_cases;
static int failed_cases;

void check_condition(int holds, const char* file, int line, const char* text) {
    if (holds) return;
    ++failed_checks;
    fprintf(stderr, "%s:%d: check failed: %s\n", file, line, text);
}

void check_run(void (*test_case)(void), const char* name) {
    const int before = failed_checks;
    test_case();
    if (failed_checks == before) {
        ++passed_cases;
    } else {
        ++failed_cases;
        fprintf(stderr, "FAILED %s\n", name);
    }
}

int check_summary(void) {
    printf("%d passed, %d failed\n", passed_cases, failed_cases);
    return failed_cases == 0 ? 0 : 1;
}
