-- The sample application's database (SQLite), reached through the data source "TessaroSample".
CREATE TABLE IF NOT EXISTS Cities (
    Name       VARCHAR(40) PRIMARY KEY,
    Country    VARCHAR(40) NOT NULL,
    Population INTEGER
);
INSERT OR IGNORE INTO Cities (Name, Country, Population) VALUES
    ('Bologna', 'Italy', 390000),
    ('Lyon', 'France', 520000),
    ('Porto', 'Portugal', 230000),
    ('Trieste', 'Italy', 200000),
    ('Utrecht', 'Netherlands', 360000);
