// bench_passes_test.cpp -- the scene passes the bench times natively and in
// the browser: they must be the show's own passes, and the batch timing
// must run and divide what it says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/bench_passes.h"
#include "runtime/timeline.h"

// Each pass runs exactly the scene table's rows active at its show time, in
// the table's order: a row added to or moved in the table shows up here.
TEST(BenchPasses, AreTheSceneTablesRowsAtTheirShowTimes)
{
    ASSERT_GT(bench_pass_count, 0);
    for (int p = 0; p < bench_pass_count; p++) {
        const BenchPass& pass = bench_passes[p];
        SCOPED_TRACE(pass.name);
        std::vector<const SceneEntry*> active;
        for (const SceneEntry* row = scene_table; row->kind != -1; row++)
            if (row->start_ms < pass.show_ms && row->end_ms > pass.show_ms)
                active.push_back(row);
        size_t n = 0;
        while (n < 3 && pass.rows[n].handler)
            n++;
        ASSERT_EQ(n, active.size());
        for (size_t i = 0; i < n; i++) {
            EXPECT_EQ(pass.rows[i].handler, active[i]->handler) << "row " << i;
            EXPECT_EQ(pass.rows[i].argument, active[i]->argument) << "row " << i;
        }
    }
}

namespace {
std::string calls;
int prepares;
double clock_ms;
void count_a(int argument) { calls += char('a' + argument); }
void count_b(int) { calls += 'x'; }
void count_prepare(void) { prepares++; }
// Moves on 8 ms at every reading.
double step_clock(void) { return clock_ms += 8.0; }
}  // namespace

// One untimed batch, then `batches` timed ones of `per_batch` passes, the
// rows in order in each pass, the clock read around each timed batch only.
TEST(BenchPasses, TimesWholeBatchesAfterAWarmUp)
{
    const BenchPass pass = {"test", 0, count_prepare, {{count_a, 1}, {count_b, 0}, {nullptr, 0}}};
    calls.clear();
    prepares = 0;
    clock_ms = 0.0;
    double samples[3] = {-1.0, -1.0, -1.0};
    bench_time_pass(pass, 3, 4, step_clock, samples);
    EXPECT_EQ(prepares, 1);
    std::string expected;
    for (int i = 0; i < 4 * 4; i++)
        expected += "bx";
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(clock_ms, 6 * 8.0);
    for (double ms : samples)
        EXPECT_DOUBLE_EQ(ms, 2.0);  // 8 ms over 4 passes
}
