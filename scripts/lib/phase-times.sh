# Times the phases of a script and prints them at its end, so the slowest step of a run is visible.
# Sourced: `phase NAME` ends the running phase (if any) and starts NAME; `print_phase_times` ends the last
# one and prints every phase with its seconds. Safe to call from an EXIT trap after a failure.
ardenwick_phase_names=()
ardenwick_phase_seconds=()
ardenwick_phase_name=
ardenwick_phase_started=

end_phase() {
    if [ -n "$ardenwick_phase_name" ]; then
        ardenwick_phase_names+=("$ardenwick_phase_name")
        ardenwick_phase_seconds+=("$(($(date +%s) - ardenwick_phase_started))")
        ardenwick_phase_name=
    fi
}

phase() {
    end_phase
    ardenwick_phase_name="$1"
    ardenwick_phase_started=$(date +%s)
}

print_phase_times() {
    end_phase
    local i total=0
    echo "== phase times"
    for i in "${!ardenwick_phase_names[@]}"; do
        printf '   %6d s  %s\n' "${ardenwick_phase_seconds[$i]}" "${ardenwick_phase_names[$i]}"
        total=$((total + ardenwick_phase_seconds[i]))
    done
    printf '   %6d s  in all\n' "$total"
    for i in "${!ardenwick_beside_names[@]}"; do
        printf '   %6d s  %s (in the background, beside the phases above)\n' "${ardenwick_beside_seconds[$i]}" \
            "${ardenwick_beside_names[$i]}"
    done
}

# A step that ran in the background beside the phases: printed with its own seconds, outside the total.
ardenwick_beside_names=()
ardenwick_beside_seconds=()
note_step_beside() {
    ardenwick_beside_names+=("$1")
    ardenwick_beside_seconds+=("$2")
}
