#!/usr/bin/python
# -*- coding: utf-8 -*-
# The transmitter's own Ansible module: runs a show on a managed host near its processors.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: transmitter
short_description: Send a show script or a command list to Orvane servers with transmitter
description:
  - Runs C(transmitter) on the managed host, always in the foreground, and returns its JSON
    report as the result.
  - Every answer is checked (C(--check-full)) unless I(check=none) is asked.
  - In check mode the script is only checked with C(--dry-run), and nothing is sent.
  - C(changed) is true when commands were sent; with I(read_back=compare) never, and with
    I(read_back=repair) when a setting was put right. Targets that failed fail the task with
    the summary's lines; pass the returned I(report_path) as I(rerun) to send again to them
    only.
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
  read_back:
    description: C(compare) reads every setting of the show back and reports what differs,
      changing nothing (settings that differ do not fail the task; I(differs) says so);
      C(repair) then sends only the settings that differ and reads them back.
    type: str
    choices: [compare, repair]
  check:
    description: C(full) reads and judges every answer; C(none) sends blind.
    type: str
    choices: [full, none]
    default: full
  values:
    description: Buffer values from outside the script (NAME to VALUE), handed over in a
      file only the module's user can read, never on a command line.
    type: dict
  report:
    description: Where the report is kept on the managed host; a file of its own by default.
    type: path
  rerun:
    description: A report of an earlier run of the same show; only its targets that did not
      succeed are sent to.
    type: path
  limit:
    description: Only these targets (host, host:port, [v6]:port).
    type: list
    elements: str
  max_parallel:
    description: At most this many targets at work at once.
    type: int
  attempts:
    description: How often a target is tried.
    type: int
  executable:
    description: The program to run.
    type: path
    default: transmitter
notes:
  - Supports check mode.
  - Linux managed hosts only.
author:
  - The transmitter's developers
'''

EXAMPLES = r'''
- name: Send the morning show
  transmitter:
    script: /srv/shows/morning.qvtrx
    values:
      pw: "{{ vault_desk_password }}"
  register: show

- name: Send again to the targets that failed
  transmitter:
    script: /srv/shows/morning.qvtrx
    rerun: "{{ show.report_path }}"
  when: show is failed

- name: One command list
  transmitter:
    host: 10.0.0.7
    port: "3004"
    commands: ["PRESET.ONAIR=Night", "LEVEL?"]
'''

RETURN = r'''
report:
  description: The run's report, as transmitter --report writes it (not in check mode).
  returned: when the run wrote one
  type: dict
report_path:
  description: Where the report is on the managed host, for a later I(rerun).
  returned: when the run wrote one
  type: str
rc:
  description: The exit status of transmitter.
  returned: always
  type: int
stdout:
  description: What transmitter printed (the answers to queries, or the plan in check mode).
  returned: always
  type: str
differs:
  description: With I(read_back), whether a target holds a setting otherwise than the show.
  returned: always
  type: bool
summary:
  description: The summary's lines, without their time stamps.
  returned: always
  type: list
  elements: str
'''

import json
import os
import re
import tempfile

from ansible.module_utils.basic import AnsibleModule

STAMP = re.compile(r'^\d\d/\d\d/\d\d \d\d:\d\d:\d\d : ')


def command_line(module, report, values_file):
    params = module.params
    argv = [params['executable']]
    argv.append('--dry-run' if module.check_mode else
                '--check-none' if params['check'] == 'none' else '--check-full')
    if params['read_back']:
        argv.append('--' + params['read_back'])
    for name in ('host', 'port'):
        if params[name]:
            argv.append('--%s=%s' % (name, params[name]))
    for name, option in (('attempts', '--attempts'), ('max_parallel', '--max-parallel'),
                         ('rerun', '--rerun')):
        if params[name] is not None:
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
        argv.append(params['script'])
    return argv


def private_file(text):
    handle, path = tempfile.mkstemp(prefix='transmitter-', suffix='.env')
    with os.fdopen(handle, 'w') as values:
        values.write(text)
    return path


def main():
    module = AnsibleModule(
        argument_spec=dict(
            script=dict(type='path'), commands=dict(type='raw'), host=dict(type='str'),
            port=dict(type='str'), check=dict(type='str', choices=['full', 'none'], default='full'),
            read_back=dict(type='str', choices=['compare', 'repair']),
            values=dict(type='dict', no_log=True), report=dict(type='path'),
            rerun=dict(type='path'), limit=dict(type='list', elements='str'),
            max_parallel=dict(type='int'), attempts=dict(type='int'),
            executable=dict(type='path', default='transmitter')),
        required_one_of=[('script', 'commands')],
        supports_check_mode=True)
    params = module.params
    report = None if module.check_mode else params['report'] or private_file('')
    values_file = None
    if params['values']:
        values_file = private_file(''.join('%s=%s\n' % item for item in params['values'].items()))
    try:
        rc, stdout, stderr = module.run_command(command_line(module, report, values_file))
    finally:
        if values_file:
            os.remove(values_file)
    summary = [STAMP.sub('', line) for line in stderr.splitlines()]
    read_back = params['read_back']
    result = dict(rc=rc, stdout=stdout, summary=summary, changed=False, differs=rc == 2)
    if report and os.path.getsize(report) > 0:
        with open(report) as written:
            result['report'] = json.load(written)
        result['report_path'] = report
        targets = result['report']['targets']
        # A compare changes nothing; a repair changed what it put right.
        if read_back == 'repair':
            result['changed'] = any(difference.get('repaired', False)
                                    for target in targets for difference in target['differences'])
        elif read_back is None:
            result['changed'] = any(target['commandsSent'] > 0 for target in targets)
    if rc != 0 and not (rc == 2 and read_back == 'compare'):
        module.fail_json(msg='\n'.join(summary) or 'transmitter ended with status %d' % rc,
                         **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
