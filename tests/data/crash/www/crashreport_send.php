<?php
// Test peer for the crash reporter: PHP's own form decoder fills $_POST; the
// decoded fields are written as JSON beside the served folder.
file_put_contents(__DIR__ . '/../received.json', json_encode($_POST));
echo "OK";
