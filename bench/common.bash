# Shared by the bench scripts (sourced; kit bench runs only bench/*.sh).

# bench_tree DIR MEGABYTES: four large random files and 200 small ones below DIR.
bench_tree() {
  mkdir -p "$1/sub"
  for i in 1 2 3 4; do head -c $(($2 / 4))M /dev/urandom > "$1/large$i.bin"; done
  for i in $(seq 1 200); do head -c 20000 /dev/urandom > "$1/sub/small$i.dat"; done
}

# seconds COMMAND...: the wall-clock seconds the command takes, its output dropped.
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }

# least A B: the smaller of two decimal numbers.
least() { echo "if ($1 < $2) $1 else $2" | bc -l; }
