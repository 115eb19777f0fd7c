# Sourced by the scripts that build a program with a loopback download endpoint compiled in.
#   loopback_port FILE   prints the port kept in FILE while it is still free, otherwise picks a free one
#                        and keeps it there. Reusing the port keeps the endpoint, so nothing is rebuilt.
loopback_port() {
    local port_file="$1" port
    port="$(cat "$port_file" 2>/dev/null || true)"
    if [ -z "$port" ] || ! python3 -c "import socket,sys; s=socket.socket(); s.bind(('127.0.0.1', int(sys.argv[1])))" \
        "$port" 2>/dev/null; then
        port="$(python3 -c "import socket; s=socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])")"
        mkdir -p "$(dirname "$port_file")"
        echo "$port" >"$port_file"
    fi
    echo "$port"
}
