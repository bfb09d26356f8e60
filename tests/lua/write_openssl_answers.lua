-- Writes the answers OpenSSL gives for the comparison cases, as a Lua file,
-- for platforms that run the tests without the openssl command:
--   lua5.1 write_openssl_answers.lua <out file>   (from tests/lua)
local cases = dofile("oracle_cases.lua")
local out = assert(io.open(assert(arg[1], "usage: write_openssl_answers.lua <out file>"), "w"))
out:write("-- AES-128-ECB of each case's plain frame, by the openssl command.\nreturn {\n")
for i, c in ipairs(cases) do
  local sealed = assert(cases.openssl_ecb(c.key, cases.plain_frame(c.payload)), "openssl failed")
  out:write(string.format("  [%d] = %q,\n", i, cases.hex(sealed)))
end
out:write("}\n")
out:close()
