# Sourced by the build scripts: with ccache installed, the builds go through it, so a repeated
# run (CI on the same machine, the fresh-machine stage after this machine's own build) compiles
# only what changed. Paths are hashed relative to the source tree, so clones in other folders hit.
if command -v ccache >/dev/null 2>&1; then
  if [ -n "${VT_CCACHE_DIR:-}" ]; then
    export CCACHE_DIR=$VT_CCACHE_DIR
  elif [ -w /var/cache ]; then
    export CCACHE_DIR=/var/cache/vtutility-ccache
  fi
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
