# Sources the generated completion in bash, beside bash-completion's own
# functions as an interactive shell has them, and completes command lines.
# bash completion_test.bash <completion file>
set -u
completion=$1
failed=0

source /usr/share/bash-completion/bash_completion || { echo "bash-completion is not installed"; exit 1; }
source "$completion" || { echo "cannot source $completion"; exit 1; }

[[ $(complete -p zarncfg) == "complete -F _zarncfg zarncfg" ]] || { echo "zarncfg has no completion"; failed=1; }

# completes WORD... : the last word is the one being completed
completes() {
  COMP_WORDS=(zarncfg "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _zarncfg
  ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

expect() {
  local want=$1; shift
  local got
  got=$(completes "$@")
  if [[ $got != "$want" ]]; then
    echo "zarncfg $* <TAB>: expected [$want], got [$got]"
    failed=1
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch -- ca.pem answers.rsp -x   # -x: "-?" must not be taken as a pattern
mkdir certs

expect "-sec_master_pwd -ssl_listening_port -suffix " -s
expect "-cred_hold -cred_response_wait -critical_cred_group -critical_cred_refresh " -cr
expect "-? " '-?'
expect "off on " -dns o
expect "off " -dns of
expect "off on " -autostart ''
expect "off on " -aut ''            # an abbreviation completes the value too
expect "off on " -lrd_config ''
expect "" -suffix o                 # a free value: nothing to offer
expect "" -help x                   # no value follows an information request
expect "logindeny loginpermit " -audit_level login
expect "permit,deny " -audit_level permit,d
expect "dns,uid dns,user_cred_refresh " -delete dns,u
expect "ca.pem certs " -ldap_ssl_cacert c
expect "answers.rsp " -rs a
expect "-uid -usage -user_cred_refresh " -h -u   # options again after a value-less option
expect "-branch " -suffix o=zarn -b

# The list of every option, in table order, as the program has them.
all=$(completes '')
count=$(wc -w <<< "$all")
[[ $count == 44 ]] || { echo "expected 44 options, got $count: $all"; failed=1; }

exit $failed
