# Sourced by scripts/run: registers the device service stand-in the way an
# installed desktop manager would be, and describes one emulated handset.
# Existing settings are kept, so installing the module on the handset lasts.

VEVA_CONFIG_DIR=${VEVA_SMS_CONFIG_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/veva-sms}
mkdir -p "$VEVA_CONFIG_DIR"

# The registry stand-in: the device service's program path.
{
    echo "Windows Registry Editor Version 5.00"
    echo
    echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Research In Motion\\BlackBerry\\Manager]"
    printf '"ImagePath"="%s"\n' "$(printf '%s' "$BIN/DesktopMgr.exe" | sed 's/\\/\\\\/g; s/"/\\"/g')"
} > "$VEVA_CONFIG_DIR/registry.reg.new" && mv "$VEVA_CONFIG_DIR/registry.reg.new" "$VEVA_CONFIG_DIR/registry.reg"

if [ ! -f "$VEVA_CONFIG_DIR/handsets.ini" ]; then
    cat > "$VEVA_CONFIG_DIR/handsets.ini" <<'INI'
; Emulated handsets of the device service (DesktopMgr.exe), in the order the
; device collection lists them. Control a running service with
;   DesktopMgr.exe --control list | attach <pin> | detach <pin> | outbox <pin> | stats
[handset]
PIN=0x2A3B4C5D
Description=BlackBerry 9700 (emulated)
Attached=true
ModuleInstalled=false
ModemCom=7
ModemMode=normal
ModemManufacturer=Research In Motion
ModemModel=BlackBerry 9700
INI
fi
echo "Device service: $BIN/DesktopMgr.exe (handsets: $VEVA_CONFIG_DIR/handsets.ini)"
