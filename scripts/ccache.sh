# Sourced by the build scripts: the compiler cache's launcher arguments in
# kv_ccache_args (empty where the machine has no ccache). Paths are hashed
# relative to the tree, so a package build reuses what the test build of the
# same sources compiled, and a rebuild after a session reuses the session's.
kv_ccache_args=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$root
  export CCACHE_NOHASHDIR=1
  kv_ccache_args=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
