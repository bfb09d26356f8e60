#include "binding/protected.hpp"

namespace {

// The job of the request that is in run_protected on this thread, from
// just before its lua_pcall until the helper takes it; null otherwise. It
// is never set to anything but the address of a job that the running
// request holds on its C stack.
thread_local const protected_job *handed = nullptr;

// Whether the function that called the running C function is `request`.
bool called_by(lua_State *L, lua_CFunction request)
{
    lua_Debug ar;
    if (lua_getstack(L, 1, &ar) == 0 || lua_getinfo(L, "f", &ar) == 0) {
        return false;
    }
    const bool same = lua_tocfunction(L, -1) == request; /* the caller on top */
    lua_settop(L, -2);
    return same;
}

// The helper. Lua code can reach it (debug.getinfo) and call it at any
// time, as anything (a finalizer, a hook, an error handler); it pushes the
// job only when there is one and it is called as run_protected calls it:
// by the job's request, with one nil. A finalizer gets its object, a hook
// two values, a Lua caller is not the request. It takes the job first, so
// nothing met while it pushes (a finalizer) finds one.
int run_job(lua_State *L)
{
    const protected_job *job = handed;
    if (job == nullptr || lua_gettop(L) != 1 || lua_type(L, 1) != LUA_TNIL || !called_by(L, job->request)) {
        return 0;
    }
    handed = nullptr;
    job->push(L, job);
    return 1;
}

} // namespace

void push_helper(lua_State *L)
{
    lua_pushcfunction(L, run_job);
}

int run_protected(lua_State *L, const protected_job *job)
{
    lua_pushnil(L); // one argument: LuaJIT's debug.getlocal reads past a frame with none
    const protected_job *outer = handed; // a request this one runs inside (from a finalizer)
    handed = job;
    const int status = lua_pcall(L, 1, 1, 0);
    handed = outer;
    return status;
}
