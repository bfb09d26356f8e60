// encrypt(input, key) and decrypt(sealed, key), the module's working path.
#pragma once

#include <lua.hpp>

int crypto_encrypt(lua_State *L);
int crypto_decrypt(lua_State *L);
