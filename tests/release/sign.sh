#!/bin/bash
# Signing of setup32.exe through the build's YELK_SIGN_* options, with a
# throwaway CA, code-signing and time-stamping certificates made here by
# openssl (no key lives in the repository). Builds the setup32 target of the
# win32 preset in WORK/build, signed with a PEM certificate and key, then with a
# PKCS#12 file, its password file and a local time-stamp server (after an
# unsigned build of the same tree to compare with), and checks:
#   - the signed file passes `osslsigncode verify` against the throwaway CA
#     (its time stamp too), and fails against another CA;
#   - removing the signature gives back the unsigned installer byte for byte;
#   - scripts/release.sh makes the same signed release with its SHA-256 sum;
#   - wrong settings fail at configure time, a wrong password fails the build
#     and leaves no setup32.exe.
# Leaves WORK/setup32.exe (signed with the PEM pair) and WORK/ca.pem for the
# end-to-end group "signed".
#
# Environment (set by tests/release/CMakeLists.txt): SIGN_SOURCE (the source
# tree), SIGN_WORK, SIGN_YELKPACK, SIGN_PAYLOAD_DIR. OSSLSIGNCODE picks another
# osslsigncode (the build then uses it too).
set -u
work=$SIGN_WORK
osslsigncode=${OSSLSIGNCODE:-osslsigncode}
rm -rf "$work"
mkdir -p "$work"
cd "$work"

for tool in "$osslsigncode" openssl python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "signing needs $tool, which is not installed (scripts/deps.sh installs it)" >skipped
        echo "skipped: $(cat skipped)"
        exit 77
    fi
done

failed=0
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
quiet() { "$@" >>"$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; echo "FAIL: $*"; exit 1; }; }

# ---- Throwaway certificates ----
cat >ext.cnf <<'CNF'
[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[timestamp]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
# make_ca NAME: a self-signed CA in NAME.pem and NAME.key.
make_ca() {
    quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=setup32 test $1" \
        -keyout "$1.key" -out "$1.pem" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}
# issue NAME EXTENSIONS: a certificate of the CA for NAME.key in NAME.pem.
issue() {
    quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=setup32 test $1" -keyout "$1.key" -out "$1.csr"
    quiet openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile ext.cnf -extensions "$2" -out "$1.pem"
}
make_ca ca
make_ca otherca
issue codesign codesign
issue tsa timestamp
printf 'throwaway password\n' >password.txt
quiet openssl pkcs12 -export -in codesign.pem -inkey codesign.key -certfile ca.pem \
    -passout file:password.txt -out codesign.p12
printf 'not the password\n' >wrong-password.txt

# A local time-stamp server answering with the tsa certificate.
cat >tsa.cnf <<CNF
[tsa]
default_tsa = tsa_config
[tsa_config]
serial = $work/tsa.serial
crypto_device = builtin
signer_cert = $work/tsa.pem
signer_key = $work/tsa.key
certs = $work/ca.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha1
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
echo 01 >tsa.serial
python3 "$SIGN_SOURCE/tests/release/tsa.py" "$work/tsa.cnf" "$work/tsa.port" 2>tsa.log &
tsa_pid=$!
trap 'kill $tsa_pid 2>/dev/null' EXIT
for i in $(seq 50); do [ -s tsa.port ] && break; sleep 0.1; done
[ -s tsa.port ] || { cat tsa.log; echo "FAIL: the time-stamp server did not start"; exit 1; }
tsa_url=http://127.0.0.1:$(cat tsa.port)

# ---- Builds ----
# configure ARGS...: (re)configures WORK/build with ARGS.
configure() {
    (cd "$SIGN_SOURCE" && cmake --preset win32 -B "$work/build" -DYELK_PACKER="$SIGN_YELKPACK" \
        -DYELK_PAYLOAD_DIR="$SIGN_PAYLOAD_DIR" -DYELK_OSSLSIGNCODE="$(command -v "$osslsigncode")" \
        "$@") >configure.log 2>&1
}
build() {
    cmake --build "$work/build" --target setup32 -j2 >build.log 2>&1
}
exe=$work/build/setup32.exe

echo "== unsigned, to compare with"
reference=$work/reference.exe
if ! { configure && build && cp "$exe" "$reference"; }; then
    cat configure.log build.log | tail -30
    echo "FAIL: the unsigned build failed"
    exit 1
fi

# check_signed WHAT [VERIFY OPTIONS...]: the built file is signed, verifies
# against the throwaway CA, not against another, and is the unsigned
# installer plus its signature.
check_signed() {
    what=$1
    shift
    if ! "$osslsigncode" verify -CAfile ca.pem "$@" -in "$exe" >"verify-$what.log" 2>&1; then
        cat "verify-$what.log"
        fail "$what: osslsigncode verify rejects the signed setup32.exe"
    fi
    grep -q 'Message digest algorithm *: SHA256' "verify-$what.log" || fail "$what: not a SHA-256 signature"
    if "$osslsigncode" verify -CAfile otherca.pem -in "$exe" >"verify-$what-otherca.log" 2>&1; then
        fail "$what: the signature verifies against a CA that did not issue it"
    fi
    rm -f unsigned.exe
    "$osslsigncode" remove-signature -in "$exe" -out unsigned.exe >/dev/null 2>&1 ||
        fail "$what: osslsigncode cannot remove the signature"
    cmp -s unsigned.exe "$reference" ||
        fail "$what: without its signature the file differs from the unsigned setup32.exe"
    cmp -s "$exe" "$reference" && fail "$what: the file is not signed"
    "$SIGN_YELKPACK" verify "$exe" >/dev/null || fail "$what: yelkpack verify rejects the signed file"
}

echo "== PEM certificate and key"
if configure -DYELK_SIGN_CERT="$work/codesign.pem" -DYELK_SIGN_KEY="$work/codesign.key" && build; then
    check_signed pem
    cp "$exe" "$work/setup32.exe"
else
    cat configure.log build.log | tail -30
    fail "the build signed with a PEM pair failed"
fi

echo "== PKCS#12 file, password file, time stamp from $tsa_url"
if configure -DYELK_SIGN_CERT="$work/codesign.p12" -DYELK_SIGN_KEY= \
    -DYELK_SIGN_PASSWORD_FILE="$work/password.txt" -DYELK_SIGN_TIMESTAMP_URL="$tsa_url" && build; then
    check_signed pkcs12 -TSA-CAfile ca.pem
    # Verified against the throwaway CA alone, so it is the local server's.
    grep -q 'Timestamp Server Signature verification: ok' verify-pkcs12.log ||
        fail "pkcs12: no verified time stamp in the signature"
else
    cat configure.log build.log | tail -30
    fail "the build signed with a PKCS#12 file failed"
fi

echo "== scripts/release.sh with the PEM pair"
if "$SIGN_SOURCE/scripts/release.sh" --client "$SIGN_PAYLOAD_DIR" --out "$work/release" \
    --build "$work/release-build" --cert codesign.pem --key codesign.key --ca ca.pem >release.log 2>&1; then
    (cd "$work/release" && sha256sum -c --quiet setup32.exe.sha256) || fail "release: the SHA-256 file does not match"
    "$osslsigncode" remove-signature -in "$work/release/setup32.exe" -out release-unsigned.exe >/dev/null 2>&1
    cmp -s release-unsigned.exe "$reference" || fail "release: without its signature not the unsigned setup32.exe"
else
    tail -30 release.log
    fail "scripts/release.sh failed"
fi

echo "== a wrong password: the build fails and leaves no setup32.exe"
if configure -DYELK_SIGN_PASSWORD_FILE="$work/wrong-password.txt" -DYELK_SIGN_TIMESTAMP_URL= && build; then
    fail "signing with a wrong password succeeded"
fi
[ ! -e "$exe" ] || fail "setup32.exe stayed after the failed signing"

echo "== settings refused at configure time"
while IFS='|' read -r message options; do
    [ -n "$message" ] || continue
    read -r -a args <<<"$options"
    if configure "${args[@]}"; then
        fail "configured with $options"
    elif ! tr -s " \n" "  " <configure.log | grep -qF "$message"; then
        tail -5 configure.log
        fail "with $options: no '$message'"
    fi
done <<ROWS
no file $work/missing.pem|-DYELK_SIGN_CERT=$work/missing.pem -DYELK_SIGN_KEY= -DYELK_SIGN_PASSWORD_FILE=
is a PEM certificate: give its key|-DYELK_SIGN_CERT=$work/codesign.pem -DYELK_SIGN_KEY= -DYELK_SIGN_PASSWORD_FILE=
is a PKCS#12 file, which holds its key|-DYELK_SIGN_CERT=$work/codesign.p12 -DYELK_SIGN_KEY=$work/codesign.key
need YELK_SIGN_CERT|-DYELK_SIGN_CERT= -DYELK_SIGN_KEY=$work/codesign.key
ROWS

if [ $failed -gt 0 ]; then
    echo "release.sign: $failed check(s) failed"
    exit 1
fi
echo "release.sign: all passed"
