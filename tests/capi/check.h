/* A small test runner for the C interface's tests: CHECK records a failed condition, RUN_CASE
 * runs a case and counts it passed when none of its checks failed, and check_summary prints
 * "N passed, N failed" and gives the exit status. */
#ifndef KESTOVA_TESTS_CAPI_CHECK_H
#define KESTOVA_TESTS_CAPI_CHECK_H

void check_condition(int holds, const char* file, int line, const char* text);
void check_run(void (*test_case)(void), const char* name);
int check_summary(void);

#define CHECK(condition) check_condition((condition) ? 1 : 0, __FILE__, __LINE__, #condition)
#define RUN_CASE(test_case) check_run(test_case, #test_case)

/* Test builds only: pins every executor selection to the index-th path this processor can run
 * (Portable first); -1 releases the pin. The path's name, or NULL past the last one. */
const char* pin_processor_path(int index);

#endif
