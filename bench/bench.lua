-- vorsel benchmark: CPU time of encrypt and decrypt per byte, against the
-- floor of the byte-table API measured in the same run (vorsel_floor: read n
-- elements, push them back into a presized table, nothing else).
--
--   lua5.1 bench/bench.lua <build dir> <out dir> [sizes...]
--
-- Writes <out dir>/<interpreter>.md (a Markdown table) and
-- <out dir>/<interpreter>.dat (for the chart), and prints the table.
local build, out_dir = arg[1] or "build", arg[2] or "build/bench"
package.cpath = build .. "/?.so;" .. build .. "/bench/?.so;" .. package.cpath
local vorsel = require("vorsel")
local floor = require("vorsel_floor")

local interp = jit and "luajit" or "lua5.1"
local sizes = {}
for i = 3, #arg do sizes[#sizes + 1] = tonumber(arg[i]) end
if #sizes == 0 then sizes = { 16, 1024, 65536, 1048576, 16777216 } end

local clock = os.clock

local function median(xs)
  table.sort(xs)
  local n = #xs
  return n % 2 == 1 and xs[(n + 1) / 2] or (xs[n / 2] + xs[n / 2 + 1]) / 2
end

local function byte_table(n)
  local t = {}
  for i = 1, n do t[i] = (i * 31) % 256 end
  return t
end

local key = byte_table(16)

-- Seconds per call of fn(a, b): `reps` calls per sample, median of samples.
local function time_call(fn, a, b, reps, samples)
  local xs = {}
  for s = 1, samples do
    collectgarbage()
    local t0 = clock()
    for _ = 1, reps do fn(a, b) end
    xs[s] = (clock() - t0) / reps
  end
  return median(xs)
end

local function plan(n)
  -- About 20 ms a sample for small sizes, a single call for large ones.
  local reps = math.max(1, math.floor(2e6 / n))
  local samples = n >= 16777216 and 3 or (n >= 1048576 and 5 or 9)
  return reps, samples
end

local function read_all(t)
  local sum = 0
  for i = 1, #t do sum = sum + t[i] end
  return sum
end

local rows = {}
for _, n in ipairs(sizes) do
  local reps, samples = plan(n)
  local build_time = time_call(byte_table, n, nil, reps, samples)
  local input = byte_table(n)
  local sealed = vorsel.encrypt(input, key)
  local floor_enc = time_call(floor.roundtrip, input, nil, reps, samples)
  local enc = time_call(vorsel.encrypt, input, key, reps, samples)
  local floor_dec = time_call(floor.roundtrip, sealed, nil, reps, samples)
  local dec = time_call(vorsel.decrypt, sealed, key, reps, samples)
  local read_time = time_call(read_all, sealed, nil, reps, samples)
  rows[#rows + 1] = {
    n = n,
    enc = enc * 1e9 / n, dec = dec * 1e9 / n,
    floor_enc = floor_enc * 1e9 / n, floor_dec = floor_dec * 1e9 / n,
    enc_ratio = enc / floor_enc, dec_ratio = dec / floor_dec,
    build = build_time * 1e9 / n, read = read_time * 1e9 / #sealed,
  }
end

-- The target: 1 KiB calls in interleaved rounds, ratio to the floor per round.
local function interleaved(n, rounds)
  local input = byte_table(n)
  local sealed = vorsel.encrypt(input, key)
  local reps = 400
  local er, dr = {}, {}
  for r = 1, rounds do
    local f1 = time_call(floor.roundtrip, input, nil, reps, 1)
    local e = time_call(vorsel.encrypt, input, key, reps, 1)
    local f2 = time_call(floor.roundtrip, sealed, nil, reps, 1)
    local d = time_call(vorsel.decrypt, sealed, key, reps, 1)
    er[r], dr[r] = e / f1, d / f2
  end
  return median(er), median(dr)
end
local enc_1k, dec_1k = interleaved(1024, 31)

-- What the fallback for results the runtime will not create at their final
-- size (growing the table first) costs, against the presized floor.
local function grow_cost(n)
  local input = byte_table(n)
  local reps, samples = plan(n)
  local base = time_call(floor.roundtrip, input, nil, reps, samples)
  return time_call(floor.roundtrip_grow, input, nil, reps, samples) / base
end

local function fmt(x) return string.format("%.2f", x) end
local function size_name(n)
  if n >= 1048576 then return math.floor(n / 1048576) .. " MiB" end
  if n >= 1024 then return math.floor(n / 1024) .. " KiB" end
  return n .. " B"
end

local lines = {
  string.format("### %s", interp),
  "",
  "| size | encrypt ns/B | floor ns/B | ratio | decrypt ns/B | floor ns/B | ratio "
    .. "| build input ns/B | read result ns/B |",
  "|---:|---:|---:|---:|---:|---:|---:|---:|---:|",
}
local dat = { "# size encrypt decrypt floor build read (ns per byte)" }
for _, r in ipairs(rows) do
  lines[#lines + 1] = string.format("| %s | %s | %s | %sx | %s | %s | %sx | %s | %s |",
    size_name(r.n), fmt(r.enc), fmt(r.floor_enc), fmt(r.enc_ratio),
    fmt(r.dec), fmt(r.floor_dec), fmt(r.dec_ratio), fmt(r.build), fmt(r.read))
  dat[#dat + 1] = string.format("%d %.4f %.4f %.4f %.4f %.4f", r.n, r.enc, r.dec, r.floor_enc, r.build, r.read)
end
lines[#lines + 1] = ""
lines[#lines + 1] = string.format(
  "1 KiB, interleaved rounds, median ratio to the floor: encrypt %sx, decrypt %sx", fmt(enc_1k), fmt(dec_1k))
lines[#lines + 1] = string.format("Growing the result before filling it, against the presized floor: "
  .. "%sx (1 KiB) %sx (1 MiB)", fmt(grow_cost(1024)), fmt(grow_cost(1048576)))
lines[#lines + 1] = ""
local text = table.concat(lines, "\n")
print(text)

local function write(name, content)
  local f = assert(io.open(out_dir .. "/" .. name, "w"))
  f:write(content, "\n")
  f:close()
end
write(interp .. ".md", text)
write(interp .. ".dat", table.concat(dat, "\n"))
