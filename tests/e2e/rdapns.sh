# SPDX-License-Identifier: MIT
# Shell helpers for RDAP services inside a private namespace (see netns.sh): a certificate
# authority made here, server certificates for the registries' RDAP names and the tests'
# own, the system's store replaced by one that trusts that authority alone, and
# tests/support/rdapd.py serving them.
#
# Source after netns.sh (and after ns_enter), then:
#   rdap_certs DIR          DIR/ca (the trusted authority), DIR/other (an untrusted one),
#                           DIR/certs/NAME.pem|.key, DIR/store (the store's folder)
#   rdap_trust DIR          bind-mount DIR/store over /etc/ssl/certs
#   rdap_hosts ARIN_ADDR    hosts lines for the RDAP names (rdap.arin.net at ARIN_ADDR)
#   rdap_start DIR RDAPD FIXTURES [rdapd options]
#                           rdapd on every listener below; log in DIR/rdap.log
#   rdap_untrust            undo rdap_trust
# Qt's OpenSSL backend reads the system's roots from /etc/ssl/certs by subject hash (the
# rehashed links); it reads neither SSL_CERT_FILE, SSL_CERT_DIR nor ca-certificates.crt, the
# bundle other clients read, which the store has as well.

RDAP_PIDS=()

rdap_make_ca() {  # DIR NAME
  mkdir -p "$1"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$1/ca.key" -out "$1/ca.pem" \
    -days 2 -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
}
rdap_make_cert() {  # DIR CA_DIR NAME
  local c=$1/certs/$3
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$c.key" -out "$c.csr" -subj "/CN=$3" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$3" >"$c.ext"
  openssl x509 -req -in "$c.csr" -CA "$2/ca.pem" -CAkey "$2/ca.key" -CAcreateserial -days 2 -extfile "$c.ext" \
    -out "$c.pem" 2>/dev/null
}

rdap_certs() {
  local d=$1 n
  mkdir -p "$d/certs" "$d/store"
  rdap_make_ca "$d/ca" "Quorvex Test CA"; rdap_make_ca "$d/other" "Untrusted CA"
  for n in rdap.arin.net rdap.db.ripe.net rdap.apnic.net rdap.lacnic.net rdap.afrinic.net public2.quorvex.test; do
    rdap_make_cert "$d" "$d/ca" "$n"
  done
  rdap_make_cert "$d" "$d/other" otherca.quorvex.test
  [ -s "$d/certs/rdap.arin.net.pem" ] && [ -s "$d/certs/otherca.quorvex.test.pem" ] || { echo "openssl made no certificates"; return 1; }
  cp "$d/ca/ca.pem" "$d/store/quorvex-test-ca.pem"
  cp "$d/ca/ca.pem" "$d/store/ca-certificates.crt"
  openssl rehash "$d/store" 2>/dev/null || { echo "openssl rehash failed"; return 1; }
}

rdap_trust() { mount --bind "$1/store" /etc/ssl/certs; }
rdap_untrust() { while umount /etc/ssl/certs 2>/dev/null; do :; done; }

rdap_hosts() {
  cat <<EOF
$1 rdap.arin.net
127.0.1.3 rdap.db.ripe.net
127.0.1.4 rdap.apnic.net
127.0.1.5 rdap.lacnic.net
127.0.1.6 rdap.afrinic.net
127.0.1.7 badname.quorvex.test
127.0.1.8 otherca.quorvex.test
127.0.1.2 alias.quorvex.test
127.0.1.9 silent.quorvex.test
127.0.1.10 refused.quorvex.test
198.51.100.81 public2.quorvex.test
EOF
}

# ARIN on 127.0.1.2 and, as "public", on 198.51.100.80 (both with rdap.arin.net's
# certificate); badname presents ARIN's certificate, otherca one of the untrusted authority.
rdap_start() {
  local d=$1 rdapd=$2 fixtures=$3
  shift 3
  ip addr add 198.51.100.80/32 dev lo 2>/dev/null; ip addr add 198.51.100.81/32 dev lo 2>/dev/null
  : >"$d/rdap.log"
  python3 "$rdapd" --certs "$d/certs" --fixtures "$fixtures" --log "$d/rdap.log" "$@" \
    rdap.arin.net=127.0.1.2:443 rdap.db.ripe.net=127.0.1.3:443 rdap.apnic.net=127.0.1.4:443 \
    rdap.lacnic.net=127.0.1.5:443 rdap.afrinic.net=127.0.1.6:443 badname=127.0.1.7:443:rdap.arin.net \
    otherca=127.0.1.8:443:otherca.quorvex.test public=198.51.100.80:443:rdap.arin.net \
    public2=198.51.100.81:443:public2.quorvex.test >"$d/rdapd.out" 2>&1 &
  RDAP_PIDS+=($!)
  wait_for 10 sh -c "[ \$(grep -c listening '$d/rdapd.out') -ge 9 ]" || { echo "rdapd did not start:"; cat "$d/rdapd.out"; return 1; }
}

rdap_stop() {
  local p
  for p in "${RDAP_PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${RDAP_PIDS[@]}"; do wait "$p" 2>/dev/null; done
  RDAP_PIDS=()
}
