<?php
// Test peer for the crash reporter: PHP's own form decoder fills $_POST; the
// decoded fields are written as JSON beside the served folder, through a
// temporary and a rename so a test that waits for the file never reads it half
// written.
$target = __DIR__ . '/../received.json';
file_put_contents($target . '.part', json_encode($_POST));
rename($target . '.part', $target);
echo "OK";
