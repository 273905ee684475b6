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
-- The to-do lists of docs/wizards.md: categories and their to-dos, whose notes run over
-- several lines.
CREATE TABLE IF NOT EXISTS Categories (
    ID   INTEGER PRIMARY KEY,
    Name VARCHAR(40) NOT NULL
);
CREATE TABLE IF NOT EXISTS Todos (
    ID         INTEGER PRIMARY KEY,
    CategoryID INTEGER NOT NULL,
    Title      VARCHAR(200) NOT NULL,
    Note       VARCHAR(2000)
);
INSERT OR IGNORE INTO Categories (ID, Name) VALUES
    (1, 'Home'),
    (2, 'Work');
INSERT OR IGNORE INTO Todos (ID, CategoryID, Title, Note) VALUES
    (1, 2, 'Write the report', 'The figures of March,' || char(10) || 'then the summary.'),
    (2, 1, 'Paint the fence', 'Buy white paint.');
