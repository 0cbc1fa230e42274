# Sourced by the whole-program benchmarks: a work folder $work, the array pids of the servers
# started, both cleaned up on exit; start_loopback_servers starts nginx serving $work/www on
# 127.0.0.1:WEB_PORT and Postfix's smtp-sink taking every message on 127.0.0.1:MAIL_PORT.
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_loopback_servers() {  # start_loopback_servers WEB_PORT MAIL_PORT
  local web_port=$1 mail_port=$2
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
user nobody nogroup;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  default_type text/html;
  client_body_temp_path $work/nginx;
  server { listen 127.0.0.1:$web_port; root $work/www; }
}
CONF
  nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
  pids+=($!)
  smtp-sink -u postfix 127.0.0.1:"$mail_port" 64 &
  pids+=($!)
  for _ in $(seq 50); do
    { : <>"/dev/tcp/127.0.0.1/$web_port"; } 2>/dev/null && return 0
    sleep 0.1
  done
}
