// Secret independence of the cores on the CPU's AES instructions (hardware,
// vaes), by trace, natively: valgrind hides VAES from the programs it runs,
// so the memcheck test never reaches the wide core.
//
// These cores keep key and data in vector registers from the first load to
// the last store. A branch on them would change the path of the instruction
// pointer, and an address made from them would have to pass through a
// general-purpose register. So a child runs each case three times, with
// different keys and data at the same addresses, while this program steps
// it one instruction at a time (ptrace) and records the instruction pointer
// and every general-purpose register and the flags at every step. The
// three traces must be the same, step for step. (The portable core works in
// general-purpose registers on purpose; memcheck proves it.)
//
// Cases: every run of 1 to 40 blocks, both directions, in place and from
// one buffer to another.
//
// usage: trace_independence [<core> [lookup|branch encrypt|decrypt <tail>]]
//   With a flaw, that core's direction goes through a copy that looks up a
//   table by a data byte (lookup), or branches on one (branch), only when
//   the count leaves <tail> blocks after the groups of sixteen: the check
//   that the trace finds what a flaw does (its ctest wants differing traces).
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "seal/aes128_cores.hpp"
#include "tests/ct/plants.hpp"

namespace {

constexpr std::size_t MOST = 40;
constexpr int VARIANTS = 3;
constexpr int SKIPPED = 77;

alignas(64) std::uint8_t in_buffer[MOST * BLOCK_BYTES + 1];
alignas(64) std::uint8_t out_buffer[MOST * BLOCK_BYTES + 3];
std::uint8_t key_buffer[KEY_BYTES];
void flawed_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count, const std::uint8_t *key)
{
    if (count % 16 == FLAW_TAIL) {
        FLAW(in);
    }
    FLAW_CORE(out, in, count, key);
}

struct run_case {
    aes128_blocks_fn fn;
    std::size_t count;
    bool apart;
};

std::vector<run_case> cases_of(aes128_blocks_fn encrypt, aes128_blocks_fn decrypt)
{
    std::vector<run_case> cases;
    for (std::size_t count = 1; count <= MOST; ++count) {
        for (const aes128_blocks_fn fn : {encrypt, decrypt}) {
            cases.push_back({fn, count, false});
            cases.push_back({fn, count, true});
        }
    }
    return cases;
}

// traced_call(fn, out, in, count, key) calls fn(out, in, count, key) with
// every other general-purpose register zeroed, between two int3: what the
// child did before (its loop, the making of the secrets) leaves nothing in
// the registers of the trace. The trace ends where traced_call_done is.
extern "C" void traced_call(aes128_blocks_fn, std::uint8_t *, const std::uint8_t *, std::size_t,
                            const std::uint8_t *);
extern "C" const char traced_call_done[];
__asm__(R"(
    .text
    .globl traced_call, traced_call_done
    .type traced_call, @function
traced_call:
    push %rbx
    push %rbp
    push %r12
    push %r13
    push %r14
    push %r15
    sub $8, %rsp
    mov %rdi, %rax
    mov %rsi, %rdi
    mov %rdx, %rsi
    mov %rcx, %rdx
    mov %r8, %rcx
    xor %ebx, %ebx
    xor %ebp, %ebp
    xor %r8d, %r8d
    xor %r9d, %r9d
    xor %r10d, %r10d
    xor %r11d, %r11d
    xor %r12d, %r12d
    xor %r13d, %r13d
    xor %r14d, %r14d
    xor %r15d, %r15d
    int3
    call *%rax
    int3
traced_call_done:
    add $8, %rsp
    pop %r15
    pop %r14
    pop %r13
    pop %r12
    pop %rbp
    pop %rbx
    ret
    .size traced_call, . - traced_call
)");

// The child: each case VARIANTS times, each with other secrets.
[[noreturn]] void child(const std::vector<run_case> &cases)
{
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    raise(SIGSTOP);
    std::uint32_t seed = 1;
    for (const run_case &c : cases) {
        for (int v = 0; v < VARIANTS; ++v) {
            for (auto &b : in_buffer) {
                b = static_cast<std::uint8_t>((seed = seed * 1664525U + 1013904223U) >> 24);
            }
            for (auto &b : key_buffer) {
                b = static_cast<std::uint8_t>((seed = seed * 1664525U + 1013904223U) >> 24);
            }
            traced_call(c.fn, c.apart ? out_buffer + 3 : in_buffer + 1, in_buffer + 1, c.count, key_buffer);
        }
    }
    _exit(0);
}

bool same(const user_regs_struct &a, const user_regs_struct &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Steps the child from its first int3 to traced_call_done.
bool trace(pid_t pid, std::vector<user_regs_struct> &steps)
{
    steps.clear();
    for (;;) {
        int status = 0;
        user_regs_struct r{};
        if (ptrace(PTRACE_SINGLESTEP, pid, nullptr, nullptr) != 0 || waitpid(pid, &status, 0) != pid ||
            !WIFSTOPPED(status) || WSTOPSIG(status) != SIGTRAP || ptrace(PTRACE_GETREGS, pid, nullptr, &r) != 0) {
            return false;
        }
        if (r.rip == reinterpret_cast<std::uintptr_t>(traced_call_done)) {
            return true;
        }
        steps.push_back(r);
    }
}

// Returns the number of cases whose traces differ, or -1 if tracing failed.
int check(const char *name, aes128_blocks_fn encrypt, aes128_blocks_fn decrypt)
{
    const std::vector<run_case> cases = cases_of(encrypt, decrypt);
    const pid_t pid = fork();
    if (pid == 0) {
        child(cases);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status) ||
        ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void *>(PTRACE_O_EXITKILL)) != 0) {
        std::printf("%s: cannot trace a child here\n", name);
        return -1;
    }
    int differing = 0;
    std::size_t longest = 0;
    std::vector<user_regs_struct> first, steps;
    for (const run_case &c : cases) {
        bool differs = false;
        for (int v = 0; v < VARIANTS; ++v) {
            if (ptrace(PTRACE_CONT, pid, nullptr, nullptr) != 0 || waitpid(pid, &status, 0) != pid ||
                !WIFSTOPPED(status) || WSTOPSIG(status) != SIGTRAP || !trace(pid, v == 0 ? first : steps)) {
                std::printf("%s: the child stopped tracing\n", name);
                kill(pid, SIGKILL);
                return -1;
            }
            if (v > 0 && !differs && (steps.size() != first.size() || !std::equal(steps.begin(), steps.end(),
                                                                              first.begin(), same))) {
                differs = true;
                std::size_t at = 0;
                while (at < steps.size() && at < first.size() && same(steps[at], first[at])) {
                    ++at;
                }
                std::printf("%s, %s, %zu blocks%s: other secrets, another trace from step %zu of %zu\n", name,
                            c.fn == encrypt ? "encrypt" : "decrypt", c.count, c.apart ? " apart" : " in place",
                            at, first.size());
            }
        }
        differing += differs ? 1 : 0;
        longest = first.size() > longest ? first.size() : longest;
    }
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    waitpid(pid, &status, 0);
    std::printf("%s: %zu cases of 1 to %zu blocks, %d secrets each, up to %zu steps: %d with differing traces\n",
                name, cases.size(), MOST, VARIANTS, longest, differing);
    return differing;
}

} // namespace

int main(int argc, char **argv)
{
    aes128_core cores[MOST_CORES];
    const std::size_t n = aes128_cores(cores);
    int differing = 0, checked = 0;
    for (std::size_t c = 0; c < n; ++c) {
        const bool asked = argc > 1 ? std::strcmp(cores[c].name, argv[1]) == 0
                                    : std::strcmp(cores[c].name, "portable") != 0;
        if (!asked) {
            continue;
        }
        if (!cores[c].available) {
            std::printf("[skipped here: this CPU does not run the %s core]\n", cores[c].name);
            continue;
        }
        aes128_blocks_fn encrypt = cores[c].encrypt_blocks, decrypt = cores[c].decrypt_blocks;
        if (argc == 5) {
            FLAW = std::strcmp(argv[2], "branch") == 0 ? plant_branch : plant_lookup;
            FLAW_TAIL = std::strtoul(argv[4], nullptr, 10);
            const bool flaw_decrypt = std::strcmp(argv[3], "decrypt") == 0;
            FLAW_CORE = flaw_decrypt ? decrypt : encrypt;
            (flaw_decrypt ? decrypt : encrypt) = flawed_blocks;
        }
        const int d = check(cores[c].name, encrypt, decrypt);
        if (d < 0) {
            return 1;
        }
        differing += d;
        ++checked;
    }
    if (checked == 0) {
        std::printf("[skipped here: no core to trace on this CPU]\n");
        return SKIPPED;
    }
    return differing == 0 ? 0 : 3;
}
