// The one way a request makes a value under lua_pcall: a job record in the
// request's own C memory, handed to a helper through a thread-local slot
// and taken once. docs/design.md has the argument.
#pragma once

#include <cstddef>
#include <cstdint>

#include <lua.hpp>

// What the helper is to push: push(L, job) pushes exactly one value made
// from the job's fields, and may raise (a memory error, a finalizer's).
struct protected_job {
    void (*push)(lua_State *L, const protected_job *job);
    lua_CFunction request; // the Lua-facing function that hands the job over
    const std::uint8_t *bytes;
    std::size_t length;
    void *work; // the request's own record that push may take from, or null
};

// Pushes the helper. Lua code may run here (Lua 5.1 and LuaJIT allocate a
// closure), so a request pushes it while it holds nothing.
void push_helper(lua_State *L);

// Runs the helper on top of the stack, pushed by push_helper with no Lua
// call since, under lua_pcall with the job handed over; Lua code may run
// in here. Returns lua_pcall's status, with one value in the helper's
// place: the job's value, nil when the helper was refused it, or the error.
int run_protected(lua_State *L, const protected_job *job);
