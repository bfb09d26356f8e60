// vorsel.strings' streams, sealer and opener (binding/streams.cpp).
#pragma once

#include <lua.hpp>

// Sets `sealer` and `opener` in the table on top of the stack, and makes
// the streams' metatables once per state.
void add_streams(lua_State *L);
