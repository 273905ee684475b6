<?php
// The benchmark page written in PHP, for comparison only: the same 20-row query,
// loop, condition and two expressions per row as bench.tsm.
$db = new SQLite3(getenv('BENCH_DB') ?: ($_SERVER['BENCH_DB'] ?? ''), SQLITE3_OPEN_READONLY);
$rows = $db->query('SELECT id, name, price FROM items ORDER BY id');
echo "<UL>\n";
while ($row = $rows->fetchArray(SQLITE3_ASSOC)) {
    if ($row['price'] > 50) {
        echo '<LI>', $row['name'], ': ', $row['price'] * 2, ' (', $row['id'] + $row['price'], ")\n";
    } else {
        echo '<LI>', $row['name'], ': ', $row['price'] + 1, ' (', $row['id'] * 3, ")\n";
    }
}
echo "</UL>\n";
$db->close();
