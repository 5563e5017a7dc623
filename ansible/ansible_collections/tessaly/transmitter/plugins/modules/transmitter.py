#!/usr/bin/python
# -*- coding: utf-8 -*-
# The transmitter's own Ansible module: runs a show on a managed host near its processors.
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: transmitter
short_description: Send a show to Orvane servers, or put right only what differs from it
description:
  - Runs C(transmitter) on the managed host, always in the foreground, and returns its JSON
    report as the result.
  - I(mode=repair) is the one whose C(changed) can be trusted for convergence. In check mode
    it compares the fleet with the show and C(changed) is true exactly when a setting differs;
    in a real run it sends only the settings that differ, and C(changed) is true exactly when
    it put one right, so that a second run reports C(changed=false). With C(--diff), the
    value before and after of every setting that differs, by target.
  - I(mode=compare) reports the differences and never changes anything; C(changed) is as in
    repair's check mode.
  - I(mode=send) sends the whole show. A send does not compare, so C(changed) is true, in check
    mode and in a real run alike, when the script holds a setting or an action. In check mode
    the show is only checked with C(--dry-run), and nothing is sent.
  - Targets that failed fail the task with the summary as I(msg); pass the returned I(rerun) as
    I(rerun) to send again to them only.
  - Linux managed hosts only; C(transmitter) must be installed there.
version_added: "1.0.15"
options:
  script:
    description: Path of the show script on the managed host.
    type: path
  commands:
    description: Commands to send to I(host) and I(port) instead of a script (a list, or one
      text with C(^) between commands).
    type: raw
  host:
    description: Target host of I(commands), and of a script that names none.
    type: str
  port:
    description: Target port of I(commands), and of a script that names none.
    type: str
  mode:
    description: C(send) sends the show; C(compare) reads every setting of the show back and
      reports what differs, changing nothing (a difference does not fail the task; I(differs)
      says so); C(repair) then sends only the settings that differ and reads them back.
    type: str
    choices: [send, compare, repair]
    default: send
  read_back:
    description: The name I(mode) had before, kept for one release; C(compare) or C(repair).
    type: str
    choices: [compare, repair]
  check:
    description: C(full) reads and judges every answer; C(none) sends blind (refused with
      I(mode=compare) and I(mode=repair)).
    type: str
    choices: [full, none]
    default: full
  values:
    description: Buffer values from outside the script (NAME to VALUE), handed over in a
      file only the module's user can read, never on a command line. A name holding C(=),
      or a name or value holding a line break, a carriage return or a NUL, is refused.
    type: dict
  set_file:
    description: A file of NAME=VALUE lines on the managed host, read as C(--set-file).
    type: path
  report:
    description: Where the report is kept on the managed host. By default a file of the
      module's report folder of the managed host's user (C(~/.local/state/transmitter/ansible),
      the 20 newest kept).
    type: path
  rerun:
    description: A report of an earlier run of the same show; only its targets that did not
      succeed are sent to.
    type: path
  limit:
    description: Only these targets or groups (host, host:port, [v6]:port, a C(*group) name,
      C(!NAME) to leave one out, C(*) in a host for any characters).
    type: list
    elements: str
  max_parallel:
    description: At most this many targets at work at once.
    type: int
  answer_timeout:
    description: How long an answer may take, in milliseconds.
    type: int
  greeting_timeout:
    description: How long the greeting and the answer to FORCEREPLY may take, in milliseconds.
    type: int
  connect_timeout:
    description: How long a connection may take to be set up, in milliseconds.
    type: int
  attempts:
    description: How often a target is tried.
    type: int
  transcript:
    description: A folder on the managed host for one transcript per target.
    type: path
  undo:
    description: A folder on the managed host where the old values of what the run changes are
      kept, as a script that puts them back.
    type: path
  executable:
    description: The program to run.
    type: path
    default: transmitter
notes:
  - Supports check mode and diff mode.
  - Linux managed hosts only.
author:
  - The transmitter's developers
'''

EXAMPLES = r'''
- name: Put right what differs from the evening show (check mode predicts it)
  tessaly.transmitter.transmitter:
    script: /srv/shows/evening.qvtrx
    mode: repair
    limit: [north]
    values:
      pw: "{{ vault_desk_password }}"
  register: show

- name: Send again to the targets that failed
  tessaly.transmitter.transmitter:
    script: /srv/shows/evening.qvtrx
    rerun: "{{ show.rerun }}"
  when: show is failed

- name: One command list, to a slow processor
  tessaly.transmitter.transmitter:
    host: 10.0.0.7
    port: "3004"
    commands: ["PRESET.ONAIR=Night", "LEVEL?"]
    answer_timeout: 1000
'''

RETURN = r'''
report:
  description: The run's report, as transmitter --report writes it (not for a send in check
    mode).
  returned: when the run wrote one
  type: dict
report_path:
  description: Where the report is on the managed host.
  returned: when the run wrote one
  type: str
rerun:
  description: The report's path, for I(rerun) of a later task.
  returned: when the run wrote one
  type: str
cmd:
  description: The command that ran.
  returned: always
  type: list
  elements: str
rc:
  description: The exit status of transmitter.
  returned: always
  type: int
stdout:
  description: What transmitter printed (the answers to queries, or the plan in check mode).
  returned: always
  type: str
stderr:
  description: What transmitter wrote on standard error.
  returned: always
  type: str
differs:
  description: With I(mode=compare) or I(mode=repair), whether a target held a setting
    otherwise than the show.
  returned: always
  type: bool
summary:
  description: The summary's lines, without their time stamps.
  returned: always
  type: list
  elements: str
'''

import datetime
import json
import os
import pwd
import re
import tempfile

from ansible.module_utils.basic import AnsibleModule

STAMP = re.compile(r'^\d\d/\d\d/\d\d \d\d:\d\d:\d\d : ')
# The first line of the summary: a group's line, or the count of all targets.
SUMMARY_START = re.compile(r': ([A-Za-z0-9_.-]+: \d+ of \d+ succeeded|\d+ of \d+ targets succeeded'
                           r'|all \d+ targets succeeded)')
SEND_AGAIN = re.compile(r': to send again to the \d+ failed targets?: ')
KEPT_REPORTS = 20
LIMITS = (('answer_timeout', '--answer-timeout'), ('greeting_timeout', '--greeting-timeout'),
          ('connect_timeout', '--connect-timeout'), ('attempts', '--attempts'),
          ('max_parallel', '--max-parallel'))
PATHS = (('rerun', '--rerun'), ('set_file', '--set-file'), ('transcript', '--transcript'),
         ('undo', '--undo'))


def mode_of(params):
    return params['read_back'] or params['mode']


def command_line(module, mode, dry_run, report, values_file):
    params = module.params
    argv = [params['executable']]
    if dry_run:
        argv.append('--dry-run')
    argv.append('--check-none' if params['check'] == 'none' else '--check-full')
    if mode != 'send':
        argv.append('--compare' if module.check_mode else '--' + mode)
    for name in ('host', 'port'):
        if params[name]:
            argv.append('--%s=%s' % (name, params[name]))
    for name, option in LIMITS + PATHS:
        if params[name] is not None and not (name == 'undo' and (dry_run or module.check_mode)):
            argv.append('%s=%s' % (option, params[name]))
    if params['limit']:
        argv.append('--limit=' + ','.join(params['limit']))
    if values_file:
        argv.append('--set-file=' + values_file)
    if report:
        argv.append('--report=' + report)
    commands = params['commands']
    if commands is not None:
        text = '^'.join(commands) if isinstance(commands, list) else str(commands)
        argv.append('--cmd=' + text)
    if params['script']:
        # A script named "-V" is a script, not an option.
        argv += ['--', params['script']]
    return argv


def refused_values(values):
    for name, value in (values or {}).items():
        name, value = str(name), str(value)
        for text, what in ((name, 'name'), (value, 'value')):
            for bad, said in (('\n', 'a line break'), ('\r', 'a carriage return'),
                              ('\0', 'a NUL')):
                if bad in text:
                    return 'values: the %s of %s holds %s' % (what, name.strip() or '""', said)
        if '=' in name or not name.strip():
            return 'values: %r is no name of a value (it is empty or holds "=")' % name
    return None


def report_folder():
    home = pwd.getpwuid(os.getuid()).pw_dir
    state = os.environ.get('XDG_STATE_HOME') or os.path.join(home, '.local', 'state')
    folder = os.path.join(state, 'transmitter', 'ansible')
    os.makedirs(folder, mode=0o700, exist_ok=True)
    os.chmod(folder, 0o700)
    return folder


def new_report(folder):
    stamp = datetime.datetime.now().strftime('%Y%m%d-%H%M%S')
    handle, path = tempfile.mkstemp(prefix='report-%s-' % stamp, suffix='.json', dir=folder)
    os.close(handle)
    os.remove(path)  # the program writes it anew
    return path


def prune_reports(folder, keep):
    reports = [os.path.join(folder, name) for name in os.listdir(folder)
               if name.startswith('report-') and name.endswith('.json')]
    reports.sort(key=os.path.getmtime, reverse=True)
    for old in reports[keep:]:
        os.remove(old)


def private_values(folder, values):
    handle, path = tempfile.mkstemp(prefix='values-', suffix='.env', dir=folder)
    with os.fdopen(handle, 'w') as written:
        written.write(''.join('%s=%s\n' % (name, value) for name, value in values.items()))
    return path


def summary_of(stderr):
    lines = [STAMP.sub('', line) for line in stderr.splitlines()]
    start = next((i for i, line in enumerate(lines) if SUMMARY_START.search(line)), 0)
    return [line for line in lines[start:] if not SEND_AGAIN.search(line)]


def changes_anything(plan):
    """Whether a dry run's plan sends a setting or an action: what a send changes."""
    for line in plan.splitlines():
        if line.startswith('  send '):
            command = line[len('  send '):].split('  (')[0].strip()
            if command != 'FORCEREPLY' and not command.startswith('LOGIN ') \
                    and not command.endswith('?'):
                return True
    return False


def differences_diff(report):
    before, after = [], []
    for target in report.get('targets', []):
        found = [found for found in target.get('differences', []) if found.get('sets')]
        if found:
            before.append(target['target'] + ':')
            after.append(target['target'] + ':')
        for difference in found:
            before.append('  %s=%s' % (difference['name'], difference['has']))
            after.append('  %s=%s' % (difference['name'], difference['sets']))
    return dict(before='\n'.join(before) + '\n' if before else '',
                after='\n'.join(after) + '\n' if after else '')


def run(module, argv):
    rc, stdout, stderr = module.run_command(argv)
    return dict(cmd=argv, rc=rc, stdout=stdout, stderr=stderr, summary=summary_of(stderr))


def read_report(path, result):
    if path and os.path.isfile(path) and os.path.getsize(path) > 0:
        with open(path) as written:
            result['report'] = json.load(written)
        result['report_path'] = result['rerun'] = path


def main():
    module = AnsibleModule(
        argument_spec=dict(
            script=dict(type='path'), commands=dict(type='raw'), host=dict(type='str'),
            port=dict(type='str'),
            mode=dict(type='str', choices=['send', 'compare', 'repair'], default='send'),
            read_back=dict(type='str', choices=['compare', 'repair']),
            check=dict(type='str', choices=['full', 'none'], default='full'),
            values=dict(type='dict', no_log=True), set_file=dict(type='path'),
            report=dict(type='path'), rerun=dict(type='path'),
            limit=dict(type='list', elements='str'), max_parallel=dict(type='int'),
            answer_timeout=dict(type='int'), greeting_timeout=dict(type='int'),
            connect_timeout=dict(type='int'), attempts=dict(type='int'),
            transcript=dict(type='path'), undo=dict(type='path'),
            executable=dict(type='path', default='transmitter')),
        required_one_of=[('script', 'commands')],
        mutually_exclusive=[('script', 'commands')],
        supports_check_mode=True)
    params = module.params
    mode = mode_of(params)
    refused = refused_values(params['values'])
    if refused:
        module.fail_json(msg=refused)
    if mode != 'send' and params['check'] == 'none':
        module.fail_json(msg='mode: %s reads every setting back, and check: none reads no '
                             'answer' % mode)
    folder = report_folder()
    values_file = private_values(folder, params['values']) if params['values'] else None
    try:
        sends = mode == 'send'
        report = None if sends and module.check_mode else params['report'] or new_report(folder)
        plan = None
        if sends:
            plan = run(module, command_line(module, mode, True, None, values_file))
        result = plan if sends and module.check_mode else run(
            module, command_line(module, mode, False, report, values_file))
    finally:
        if values_file:
            os.remove(values_file)
    if not params['report']:
        prune_reports(folder, KEPT_REPORTS)
    read_report(report, result)
    compared = mode != 'send'
    result['differs'] = compared and result['rc'] == 2
    if sends:
        # A send refused before anything went out changed nothing.
        went_out = module.check_mode or result['rc'] == 0 or any(
            target.get('commandsSent', 0) > 0
            for target in result.get('report', {}).get('targets', []))
        result['changed'] = plan['rc'] == 0 and changes_anything(plan['stdout']) and went_out
    elif mode == 'repair' and not module.check_mode:
        result['changed'] = any(found.get('repaired', False)
                                for target in result.get('report', {}).get('targets', [])
                                for found in target.get('differences', []))
    else:
        result['changed'] = result['differs']
    if compared and module._diff:
        result['diff'] = differences_diff(result.get('report', {}))
    if result['rc'] != 0 and not (result['rc'] == 2 and compared):
        module.fail_json(msg='\n'.join(result['summary']) or
                         'transmitter ended with status %d' % result['rc'], **result)
    # Ansible takes a task whose rc is not 0 for failed unless told: a difference is no failure.
    module.exit_json(failed=False, **result)


if __name__ == '__main__':
    main()
