# Starts a private Xvfb display for the Windows GUI tests and the demo; sourced by scripts.
start_xvfb() {
    if [ -n "${ARDENWICK_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
        return
    fi
    local display
    for display in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$display" ] && [ ! -e "/tmp/.X$display-lock" ]; then
            Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
            ARDENWICK_XVFB_PID=$!
            export DISPLAY=":$display"
            for _ in $(seq 1 50); do
                # Another run may have taken the same display a moment earlier: then this server has
                # ended, and the next display is tried.
                kill -0 "$ARDENWICK_XVFB_PID" 2>/dev/null || break
                if [ -e "/tmp/.X11-unix/X$display" ] &&
                    [ "$(tr -d ' \n' <"/tmp/.X$display-lock" 2>/dev/null)" = "$ARDENWICK_XVFB_PID" ]; then
                    return 0
                fi
                sleep 0.1
            done
            if kill -0 "$ARDENWICK_XVFB_PID" 2>/dev/null; then
                echo "xvfb: display :$display did not come up" >&2
                return 1
            fi
            wait "$ARDENWICK_XVFB_PID" 2>/dev/null || true
        fi
    done
    echo "xvfb: no free display" >&2
    return 1
}

stop_xvfb() {
    if [ -n "${ARDENWICK_XVFB_PID:-}" ]; then
        kill "$ARDENWICK_XVFB_PID" >/dev/null 2>&1 || true
        wait "$ARDENWICK_XVFB_PID" 2>/dev/null || true
        ARDENWICK_XVFB_PID=
    fi
}
