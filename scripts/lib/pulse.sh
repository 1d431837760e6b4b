# Starts a private PulseAudio in $XDG_RUNTIME_DIR with a virtual microphone: whatever is played to the
# sink "glint_speaker" (paplay -d glint_speaker FILE) is what the default source "glint_microphone" hears.
# Usage: source scripts/lib/pulse.sh; glint_start_pulse; ...; glint_stop_pulse

glint_pulse_pid=

glint_start_pulse() {
    local config="$XDG_RUNTIME_DIR/glint-test-pulse.pa"
    cat >"$config" <<'PA'
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=glint_speaker
load-module module-remap-source source_name=glint_microphone master=glint_speaker.monitor
set-default-sink glint_speaker
set-default-source glint_microphone
PA
    pulseaudio -n -F "$config" --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-level=error \
        >/dev/null 2>&1 &
    glint_pulse_pid=$!
    local _
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    echo "PulseAudio did not start" >&2
    return 1
}

glint_stop_pulse() {
    [ -n "$glint_pulse_pid" ] || return 0
    kill "$glint_pulse_pid" 2>/dev/null || true
    wait "$glint_pulse_pid" 2>/dev/null || true
    glint_pulse_pid=
}
