// What a harness does when it finds an input that breaks a rule: it says which rule and
// aborts, which libFuzzer (and the replay program) report as a failure of that input.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fuzzRuleBroken(const char* rule) {
    std::fprintf(stderr, "fuzz: rule broken: %s\n", rule);
    std::abort();
}

inline void fuzzRequire(bool holds, const char* rule) {
    if (!holds) {
        fuzzRuleBroken(rule);
    }
}
