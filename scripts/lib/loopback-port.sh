# Sourced by the scripts that build a program with a loopback download endpoint compiled in.
#   loopback_port FILE   prints the port kept in FILE while it is still free, otherwise picks a free one
#                        and keeps it there. Reusing the port keeps the endpoint, so nothing is rebuilt.
# The port goes into the Windows test kit as well, so it is taken below 32768: under Windows' dynamic
# range (49152 and up), where Hyper-V and WinNAT reserve their blocks, and under Linux's ephemeral one.
# run-tests.py checks it against the ranges a Windows PC has excluded before a test binds it.
loopback_port() {
    local port_file="$1" port
    port="$(cat "$port_file" 2>/dev/null || true)"
    python3 - "$port" "$port_file" <<'PY'
import os, random, socket, sys

def free(port):
    try:
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", port))
        return True
    except OSError:
        return False

kept, port_file = sys.argv[1], sys.argv[2]
if kept.isdigit() and 20000 <= int(kept) < 32768 and free(int(kept)):
    print(kept)
    sys.exit(0)
for _ in range(200):
    port = random.randrange(20000, 32768)
    if free(port):
        os.makedirs(os.path.dirname(port_file) or ".", exist_ok=True)
        with open(port_file, "w", encoding="ascii") as out:
            out.write(f"{port}\n")
        print(port)
        sys.exit(0)
sys.exit("loopback_port: no free port between 20000 and 32767")
PY
}
